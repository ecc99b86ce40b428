// Native benchmark of the console program's output writer: one run of N
// result entries written as JSON Lines, CSV and the text report through the
// same writer the program uses (RunWriter), from a cursor that makes each
// entry when it is read (as the engine's getters hand them out one by one)
// into a sink that only counts bytes. Reports, per form and N, the peak heap
// in use while writing (above what was in use before) and the time per entry:
// the peak must not grow with N.
//   bench_output_writer [entries...]   (default 10000 100000 1000000)
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "console_run_output.h"

namespace {

// Heap bytes in use, and the highest value since the last reset.
std::atomic<size_t> g_inUse{0};
std::atomic<size_t> g_peak{0};

void Count(size_t bytes) {
  const size_t now = g_inUse += bytes;
  size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

void* operator new(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  Count(malloc_usable_size(block));
  return block;
}
void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  g_inUse -= malloc_usable_size(block);
  std::free(block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace {

using namespace tarvex::console;

// The engine's list as the getters hand it out: made entry by entry.
class GeneratedEntries : public EntryCursor {
 public:
  explicit GeneratedEntries(size_t count) : count_(count) {}
  void Restart() override { next_ = 0; }
  bool Next(ConsoleEntry* entry) override {
    if (next_ > count_) return false;
    const size_t i = next_++;
    if (i == 0) {
      *entry = {"Prozessfilename", "Process-ID",     "Scantarget",
                "Is it Malware?",  "Scannermessage", "Scanner Errorcode"};
      return true;
    }
    const std::string n = std::to_string(i);
    entry->processName = "";
    entry->processId = "";
    entry->scantarget = "D:\\Shares\\folder" + std::to_string(i / 500) + "\\file" + n +
                        ".txt:Zone.Identifier";
    entry->isMalware = i % 1000 == 0 ? "yes (32768)" : i % 997 == 0 ? "not scanned (0)" : "no (1)";
    entry->scannermessage = "The operation completed successfully. ";
    entry->scannerErrornumber = "0";
    return true;
  }

 private:
  size_t count_;
  size_t next_ = 0;
};

class CountingSink : public TextSink {
 public:
  bool Write(std::string_view text) override {
    bytes += text.size();
    return true;
  }
  bool Flush() override { return true; }
  size_t bytes = 0;
};

struct Measurement {
  size_t peakBytes;
  double nanosecondsPerEntry;
  size_t outputBytes;
};

Measurement Measure(OutputFormat format, size_t count) {
  RunStart start;
  start.program = "OstrelleCmd64.exe";
  start.command = "folder";
  start.target = "D:\\Shares";
  RunOutputSettings settings;
  settings.format = format;
  settings.toUtf8 = [](const std::string& text) { return text; };
  settings.endTime = [] { return std::string("2026-12-10T12:00:00Z"); };
  settings.exitCode = [](const OutcomeCounts& counts, bool writeFailed) {
    return RunExitCode({counts, 1, false, writeFailed});
  };
  GeneratedEntries entries(count);
  CountingSink sink;
  const size_t before = g_inUse.load();
  g_peak = before;
  const auto begin = std::chrono::steady_clock::now();
  const RunOutcome outcome = WriteRun(start, entries, settings, sink);
  const auto end = std::chrono::steady_clock::now();
  if (outcome.counts.Total() != static_cast<int64_t>(count)) std::abort();
  return {g_peak.load() - before,
          std::chrono::duration<double, std::nano>(end - begin).count() / count, sink.bytes};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::strtoul(argv[i], nullptr, 10));
  if (counts.empty()) counts = {10000, 100000, 1000000};
  std::printf("%-7s %10s %14s %16s %12s\n", "form", "entries", "output [MB]", "peak heap [KiB]",
              "ns/entry");
  const std::pair<const char*, OutputFormat> forms[] = {
      {"json", OutputFormat::Json}, {"csv", OutputFormat::Csv}, {"report", OutputFormat::Report}};
  for (const auto& [name, format] : forms) {
    for (size_t count : counts) {
      const Measurement m = Measure(format, count);
      std::printf("%-7s %10zu %14.1f %16.1f %12.0f\n", name, count, m.outputBytes / 1e6,
                  m.peakBytes / 1024.0, m.nanosecondsPerEntry);
    }
  }
  return 0;
}
