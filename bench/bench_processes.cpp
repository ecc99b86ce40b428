// Process memory scan benchmark: TarvexProcessWithPid on a memory holder with
// 512 MiB of committed, readable memory, against the floor of a bare
// VirtualQueryEx walk with one ReadProcessMemory and direct AmsiScanBuffer
// calls per run on the same provider. Each measurement of the first part runs
// in a fresh process of its own, so its peak working set is its own; the
// second part alternates floor and engine in one process on one holder, so
// both meet the same load of a shared machine.
//
//   bench_processes.exe [rounds] [commit MiB]   driver
//   bench_processes.exe floor|engine <MiB>     one measurement, one result line
//   bench_processes.exe paired <MiB> <pairs>   "pair <floor s> <engine s without overhead>" lines
#include <windows.h>

#include "bench_clock.h"
#include "bench_memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine_api.h"
#include "notification_window.h"
#include "child_pipe.h"
#include "process_fixture.h"
#include "provider_amsi.h"
#include "virtual_buffer.h"
#include "win32_handles.h"

namespace {

struct Measurement {
  double seconds = 0;
  double overheadSeconds = 0;  // engine: a job that opens nothing
  double workingSetBeforeMib = 0;
  double peakWorkingSetMib = 0;
  double copiedMib = 0;
  int detections = 0;
};

bool Readable(const MEMORY_BASIC_INFORMATION& region) {
  return (region.State & MEM_COMMIT) != 0 && (region.Protect & PAGE_GUARD) == 0 &&
         (region.Protect & 0xEE) != 0;
}

// The least a scan of a process must do: walk, copy each run once, scan it.
bool MeasureFloor(DWORD pid, Measurement* out) {
  ProviderAmsi provider;
  if (!provider.Bind(LoadLibraryA("amsi.dll"))) return false;
  void* context = nullptr;
  if (provider.initialize(L"bench_processes.exe", &context) != S_OK) return false;
  out->workingSetBeforeMib = WorkingSetNow().current;

  const double start = Now();
  tarvex::UniqueHandle processHandle(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!processHandle) return false;
  const HANDLE process = processHandle.Get();
  uintptr_t address = 0, runStart = 0, runLength = 0;
  auto scanRun = [&] {
    const tarvex::VirtualBuffer buffer(runLength);
    if (buffer.Data() == nullptr) return;
    SIZE_T copied = 0;
    if (ReadProcessMemory(process, reinterpret_cast<void*>(runStart), buffer.Data(), runLength,
                          &copied)) {
      out->copiedMib += runLength / 1048576.0;
      int result = 0;
      provider.scan(context, buffer.Data(), static_cast<ULONG>(runLength), L"run", nullptr,
                    &result);
      if (result == 32768) ++out->detections;
    }
  };
  MEMORY_BASIC_INFORMATION region{};
  while (VirtualQueryEx(process, reinterpret_cast<void*>(address), &region, sizeof region) != 0) {
    if (Readable(region)) {
      if (runLength == 0) runStart = address;
      runLength += region.RegionSize;
    } else if (runLength != 0) {
      scanRun();
      runLength = 0;
    }
    address += region.RegionSize;
    if (static_cast<intptr_t>(address) < 0) break;
  }
  processHandle.Reset();
  out->seconds = Now() - start;
  out->peakWorkingSetMib = WorkingSetNow().peak;
  provider.uninitialize(context);
  return true;
}

bool MeasureEngine(DWORD pid, Measurement* out) {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  if (!api.Complete()) return false;
  tarvex_test::NotificationWindow window;
  auto runJob = [&](intptr_t id) {
    window.ResetCalls();
    const double start = Now();
    api.TarvexProcessWithPid(window.Window(), &tarvex_test::NotificationWindow::TimerProc, id,
                             "holder", 0);
    // Sleeps until a message comes: the job's thread gets the processor to itself.
    const double deadline = start + 600;
    while (window.Calls() == 0 && Now() < deadline) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return window.Calls() != 0 ? Now() - start : -1.0;
  };
  // Thread start, job frame, AMSI session and the notification timer's delay.
  out->overheadSeconds = runJob(0);
  out->workingSetBeforeMib = WorkingSetNow().current;
  out->seconds = runJob(static_cast<intptr_t>(pid));
  out->peakWorkingSetMib = WorkingSetNow().peak;
  if (out->seconds < 0 || out->overheadSeconds < 0) return false;
  for (const tarvex_test::Entry& entry : tarvex_test::ReadEntries()) {
    if (entry.isMalware == "yes (32768)") ++out->detections;
    uint64_t start = 0, end = 0;
    if (std::sscanf(entry.scantarget.c_str(), "Address 0x%llx - 0x%llx",
                    reinterpret_cast<unsigned long long*>(&start),
                    reinterpret_cast<unsigned long long*>(&end)) == 2 &&
        entry.isMalware.compare(0, 3, "not") != 0) {
      out->copiedMib += (end - start) / 1048576.0;
    }
  }
  return true;
}

int RunOne(const std::string& mode, const std::string& commitMib, int pairs) {
  tarvex_test::MemoryHolder holder("--commit-mib " + commitMib);
  if (!holder.Ready()) {
    std::printf("error: memory holder did not start\n");
    return 1;
  }
  if (mode == "paired") {
    for (int pair = 0; pair < pairs; ++pair) {
      Measurement floor, engine;
      if (!MeasureFloor(holder.Pid(), &floor) || !MeasureEngine(holder.Pid(), &engine)) {
        std::printf("error: paired measurement failed\n");
        return 1;
      }
      std::printf("pair %.4f %.4f\n", floor.seconds, engine.seconds - engine.overheadSeconds);
    }
    return 0;
  }
  Measurement m;
  const bool ok =
      mode == "floor" ? MeasureFloor(holder.Pid(), &m) : MeasureEngine(holder.Pid(), &m);
  if (!ok) {
    std::printf("error: %s measurement failed\n", mode.c_str());
    return 1;
  }
  std::printf("%s %.4f %.4f %.1f %.1f %.1f %d\n", mode.c_str(), m.seconds, m.overheadSeconds,
              m.workingSetBeforeMib, m.peakWorkingSetMib, m.copiedMib, m.detections);
  return 0;
}

// Runs this program with the given arguments and returns what it printed.
bool RunChild(const std::string& arguments, std::string* output) {
  tarvex_test::ChildPipe pipe;
  if (!tarvex_test::MakeChildPipe(true, &pipe)) return false;
  STARTUPINFOA startup = tarvex_test::StartupWithHandles(GetStdHandle(STD_INPUT_HANDLE),
                                                         pipe.childs.Get(), pipe.childs.Get());
  std::string self = tarvex_test::ProgramPath();
  std::string commandLine = "\"" + self + "\" " + arguments;
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(self.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &info);
  pipe.childs.Reset();  // the child holds the only write end: its exit ends the reads below
  if (!started) return false;
  const tarvex::UniqueProcessInformation child(info);
  char chunk[256];
  DWORD read = 0;
  while (ReadFile(pipe.ours.Get(), chunk, sizeof chunk, &read, nullptr) && read != 0)
    output->append(chunk, read);
  WaitForSingleObject(child.process.Get(), INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(child.process.Get(), &exitCode);
  if (exitCode != 0) std::printf("%s", output->c_str());
  return exitCode == 0;
}

// One measurement in a process of its own.
bool RunMeasurement(const std::string& mode, const std::string& commitMib, Measurement* out) {
  std::string output;
  if (!RunChild(mode + " " + commitMib, &output)) return false;
  char name[16] = {};
  return std::sscanf(output.c_str(), "%15s %lf %lf %lf %lf %lf %d", name, &out->seconds,
                     &out->overheadSeconds, &out->workingSetBeforeMib, &out->peakWorkingSetMib,
                     &out->copiedMib, &out->detections) == 7 &&
         mode == name;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && (std::strcmp(argv[1], "floor") == 0 || std::strcmp(argv[1], "engine") == 0 ||
                    std::strcmp(argv[1], "paired") == 0)) {
    return RunOne(argv[1], argv[2], argc >= 4 ? std::max(1, std::atoi(argv[3])) : 1);
  }
  const int rounds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string commitMib = argc >= 3 ? argv[2] : "512";
  std::printf(
      "memory holder with %s MiB committed, %d rounds, each measurement in its own process\n",
      commitMib.c_str(), rounds);
  std::printf("%-7s %9s %12s %10s %10s %10s %6s\n", "mode", "time [s]", "overhead [s]", "WS [MiB]",
              "peak [MiB]", "read [MiB]", "found");
  std::vector<double> floorTimes, engineTimes, engineNet, floorPeak, enginePeak, ratios, netRatios;
  for (int round = 0; round < rounds; ++round) {
    for (const char* mode : {"floor", "engine"}) {
      Measurement m;
      if (!RunMeasurement(mode, commitMib, &m)) {
        std::printf("error: %s run failed\n", mode);
        return 1;
      }
      std::printf("%-7s %9.3f %12.3f %10.1f %10.1f %10.1f %6d\n", mode, m.seconds,
                  m.overheadSeconds, m.workingSetBeforeMib, m.peakWorkingSetMib, m.copiedMib,
                  m.detections);
      if (std::strcmp(mode, "floor") == 0) {
        floorTimes.push_back(m.seconds);
        floorPeak.push_back(m.peakWorkingSetMib - m.workingSetBeforeMib);
      } else {
        ratios.push_back(m.seconds / floorTimes.back());
        netRatios.push_back((m.seconds - m.overheadSeconds) / floorTimes.back());
        engineTimes.push_back(m.seconds);
        engineNet.push_back(m.seconds - m.overheadSeconds);
        enginePeak.push_back(m.peakWorkingSetMib - m.workingSetBeforeMib);
      }
    }
  }
  const double floor = Median(floorTimes);
  std::printf("median floor %.3f s, engine %.3f s (%.3f s without the job overhead)\n", floor,
              Median(engineTimes), Median(engineNet));
  std::printf("ratio engine/floor: %.3f (%.3f without the job overhead; goal at most 1.15)\n",
              Median(engineTimes) / floor, Median(engineNet) / floor);
  // Floor and engine of one round ran back to back under the same load.
  std::printf("median of the per-round ratios: %.3f (%.3f without the job overhead)\n",
              Median(ratios), Median(netRatios));
  std::printf("peak working set above the start: floor %.1f MiB, engine %.1f MiB\n",
              Median(floorPeak), Median(enginePeak));

  std::printf("\npaired in one process: floor and engine (without the job overhead) in turn\n");
  std::string output;
  if (!RunChild("paired " + commitMib + " " + std::to_string(rounds), &output)) {
    std::printf("error: paired run failed\n");
    return 1;
  }
  std::vector<double> pairedRatios;
  for (size_t at = output.find("pair "); at != std::string::npos;
       at = output.find("pair ", at + 1)) {
    double floorSeconds = 0, engineSeconds = 0;
    if (std::sscanf(output.c_str() + at, "pair %lf %lf", &floorSeconds, &engineSeconds) != 2)
      continue;
    std::printf("floor %8.3f s  engine %8.3f s  ratio %.3f\n", floorSeconds, engineSeconds,
                engineSeconds / floorSeconds);
    pairedRatios.push_back(engineSeconds / floorSeconds);
  }
  if (pairedRatios.empty()) return 1;
  std::printf("median paired ratio engine/floor: %.3f (goal at most 1.15)\n", Median(pairedRatios));
  return 0;
}
