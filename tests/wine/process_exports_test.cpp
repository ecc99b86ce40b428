// Process scans through the exports, against memory holder processes started
// here: by id, by executable name, all processes, cancel, and the failures
// that leave a process not scanned.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine_api.h"
#include "notification_window.h"
#include "process_fixture.h"
#include "system_texts.h"
#include "test_content.h"
#include "test_provider.h"

using namespace tarvex_test;

namespace {

constexpr DWORD kScanTimeoutMs = 120000;

bool SamePath(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// "Address 0x<start> - 0x<end>" with upper-case digits, no leading zeros and start < end.
bool ParseRunTarget(const std::string& target, uint64_t* start, uint64_t* end) {
  const std::string head = "Address 0x";
  const std::string middle = " - 0x";
  if (target.compare(0, head.size(), head) != 0) return false;
  const size_t split = target.find(middle);
  if (split == std::string::npos) return false;
  const std::string first = target.substr(head.size(), split - head.size());
  const std::string second = target.substr(split + middle.size());
  for (const std::string* digits : {&first, &second}) {
    if (digits->empty() || digits->size() > 16) return false;
    if (digits->size() > 1 && (*digits)[0] == '0') return false;
    if (digits->find_first_not_of("0123456789ABCDEF") != std::string::npos) return false;
  }
  *start = std::strtoull(first.c_str(), nullptr, 16);
  *end = std::strtoull(second.c_str(), nullptr, 16);
  return *start < *end;
}

bool Detected(const Entry& entry) { return entry.isMalware == "yes (32768)"; }

class ProcessExports : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Engine().Complete()) << "engine or an export missing";
    ClearProviderSettings();
    ResetProviderCallLog();
  }
  void TearDown() override { ClearProviderSettings(); }

  // Runs a job through the window's notification; the entries after the
  // title entry. Samples the progress text while waiting when asked to; the
  // provider then holds the job's scans until a progress text was seen.
  template <typename Start>
  std::vector<Entry> Scan(Start start, std::vector<std::string>* progress = nullptr) {
    std::optional<ProviderHold> hold;
    if (progress != nullptr) hold.emplace();
    NotificationWindow window;
    EXPECT_EQ(0, start(window));
    const ULONGLONG deadline = GetTickCount64() + kScanTimeoutMs;
    while (window.Calls() == 0 && GetTickCount64() < deadline) {
      window.PumpFor(progress == nullptr ? 20 : 2);
      if (progress != nullptr) {
        progress->push_back(api.ScanObject());
        if (!progress->back().empty()) hold.reset();
      }
    }
    EXPECT_EQ(1, window.Calls()) << "no notification";
    std::vector<Entry> entries = ReadEntries();
    EXPECT_FALSE(entries.empty()) << "no title entry";
    if (!entries.empty()) entries.erase(entries.begin());
    return entries;
  }
  std::vector<Entry> ScanPid(intptr_t pid, const char* name,
                             std::vector<std::string>* progress = nullptr) {
    return Scan(
        [&](NotificationWindow& window) {
          return api.TarvexProcessWithPid(window.Window(), &NotificationWindow::TimerProc, pid,
                                          name, 0);
        },
        progress);
  }
  std::vector<Entry> ScanName(const std::string& name) {
    return Scan([&](NotificationWindow& window) {
      return api.TarvexProcessWithName(window.Window(), &NotificationWindow::TimerProc,
                                       name.c_str(), 0);
    });
  }

  EngineApi& api = Engine();
};

TEST_F(ProcessExports, ScanByIdFindsThePlantedContentUnderTheImagePath) {
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  std::vector<std::string> progress;
  const auto entries = ScanPid(holder.Pid(), "given-name.exe", &progress);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(1, api.GetScanResult());
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), Detected));
  uint64_t previousEnd = 0;
  for (const Entry& entry : entries) {
    EXPECT_TRUE(SamePath(holder.Path(), entry.processName)) << entry.processName;
    EXPECT_EQ(holder.PidText(), entry.processId);
    uint64_t start = 0, end = 0;
    ASSERT_TRUE(ParseRunTarget(entry.scantarget, &start, &end)) << entry.scantarget;
    // Runs follow the walk upwards, never overlap, and touching runs would
    // have been one run.
    EXPECT_GT(start, previousEnd) << entry.scantarget;
    previousEnd = end;
    if (Detected(entry)) {
      EXPECT_EQ("0", entry.scannerErrornumber);
    }
  }
  // While the job runs, the progress text names the image path and a region.
  size_t seen = 0;
  for (const std::string& text : progress) {
    if (text.empty()) continue;
    ++seen;
    const std::string head = holder.Path() + " -> 0x";
    ASSERT_TRUE(text.size() > head.size() && SamePath(head, text.substr(0, head.size())) &&
                text.find_first_not_of("0123456789ABCDEF", head.size()) == std::string::npos)
        << text;
  }
  EXPECT_GT(seen, 0u);
}

TEST_F(ProcessExports, ScanByNameMatchesTheWholeNameInAnyLetterCase) {
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  struct Case {
    std::string wanted;
    bool selected;
  } cases[] = {
      {"MEMORY_HOLDER.EXE", true}, {"memory_holder", false}, {holder.Path(), false},
      {"memory_holder.ex", false}, {"*.exe", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("wanted name " + c.wanted);
    const auto entries = ScanName(c.wanted);
    if (!c.selected) {
      EXPECT_TRUE(entries.empty());
      EXPECT_EQ(-1, api.GetScanResult());
      continue;
    }
    const auto named = ProcessIdsNamed(MemoryHolder::kExecutableName);
    bool ownHolderDetected = false;
    for (const Entry& entry : entries) {
      const bool isHolder = std::any_of(named.begin(), named.end(), [&](DWORD id) {
        return std::to_string(id) == entry.processId;
      });
      EXPECT_TRUE(isHolder) << "process " << entry.processId << " " << entry.processName;
      if (entry.processId == holder.PidText() && Detected(entry)) ownHolderDetected = true;
    }
    EXPECT_TRUE(ownHolderDetected);
  }
}

TEST_F(ProcessExports, TwoInstancesAreBothScannedInSnapshotOrder) {
  MemoryHolder first;
  MemoryHolder second;
  ASSERT_TRUE(first.Ready());
  ASSERT_TRUE(second.Ready());
  const auto entries = ScanName("Memory_Holder.exe");
  std::vector<std::string> scanOrder;
  for (const Entry& entry : entries) {
    if (scanOrder.empty() || scanOrder.back() != entry.processId) {
      EXPECT_EQ(scanOrder.end(), std::find(scanOrder.begin(), scanOrder.end(), entry.processId))
          << "entries of process " << entry.processId << " are not together";
      scanOrder.push_back(entry.processId);
    }
  }
  std::vector<std::string> snapshotOrder;
  for (DWORD id : ProcessIdsNamed(MemoryHolder::kExecutableName)) {
    if (std::find(scanOrder.begin(), scanOrder.end(), std::to_string(id)) != scanOrder.end()) {
      snapshotOrder.push_back(std::to_string(id));
    }
  }
  EXPECT_EQ(snapshotOrder, scanOrder);
  for (const MemoryHolder* holder : {&first, &second}) {
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                            [&](const Entry& entry) {
                              return entry.processId == holder->PidText() && Detected(entry);
                            }))
        << "holder " << holder->Pid() << " not found";
  }
}

TEST_F(ProcessExports, ProcessesThatCannotBeOpenedGiveOneOpenFailureEntry) {
  MemoryHolder gone;
  ASSERT_TRUE(gone.Ready());
  gone.Finish();  // exited, and no handle keeps it alive
  ASSERT_TRUE(gone.WaitUntilIdNamesNoProcess(10000));
  struct Case {
    intptr_t pid;
    const char* name;
  } cases[] = {
      {0, "Idle"},
      {static_cast<intptr_t>(gone.Pid()), "gone.exe"},
      {-1, "minus-one.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto entries = ScanPid(c.pid, c.name);
    ASSERT_EQ(1u, entries.size());
    const Entry& entry = entries[0];
    EXPECT_EQ(c.name, entry.processName);
    EXPECT_EQ(std::to_string(c.pid), entry.processId);
    EXPECT_EQ("", entry.scantarget);
    EXPECT_EQ("not scanned", entry.isMalware);
    const DWORD errorNumber = std::strtoul(entry.scannerErrornumber.c_str(), nullptr, 10);
    EXPECT_NE(0u, errorNumber);
    EXPECT_EQ(std::to_string(errorNumber), entry.scannerErrornumber);
    // The system text and the session note of a healthy session, one blank.
    EXPECT_EQ("OpenProcess -> " + SystemText(errorNumber) + " ", entry.scannermessage);
    EXPECT_EQ(-1, api.GetScanResult());
  }
}

TEST_F(ProcessExports, OpenFailureMessageEndsWithTheNoteOfAFailedAmsiSession) {
  SetProviderSetting("TESTAMSI_FAIL_OPEN", "0x8007000E");
  const auto entries = ScanPid(0, "Idle");
  SetProviderSetting("TESTAMSI_FAIL_OPEN", nullptr);
  ASSERT_EQ(1u, entries.size());
  const DWORD errorNumber = std::strtoul(entries[0].scannerErrornumber.c_str(), nullptr, 10);
  EXPECT_NE(0u, errorNumber);  // the open's code, not the session's
  const std::string head = "OpenProcess -> " + SystemText(errorNumber);
  EXPECT_EQ(head + "AmsiOpenSession: ", entries[0].scannermessage.substr(0, head.size() + 17));
  EXPECT_GT(entries[0].scannermessage.size(), head.size() + 17);
}

#ifdef _WIN64
TEST_F(ProcessExports, IdBeyondThirtyTwoBitsDoesNotScanTheProcessOfItsLowBits) {
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  const intptr_t pid = (intptr_t{1} << 32) | static_cast<intptr_t>(holder.Pid());
  const auto entries = ScanPid(pid, "wide.exe");
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(std::to_string(pid), entries[0].processId);
  EXPECT_EQ("not scanned", entries[0].isMalware);
  EXPECT_EQ("87", entries[0].scannerErrornumber);  // ERROR_INVALID_PARAMETER
  EXPECT_EQ(0u, entries[0].scannermessage.find("OpenProcess -> "));
}

// A run far beyond 4 GiB that no copy buffer can hold is reported as not
// scanned, with its whole span, instead of being cut to a 32-bit length; the
// rest of the process is still scanned.
TEST_F(ProcessExports, RunTooLargeToCopyGetsTheAllocationEntryWithItsWholeSpan) {
  constexpr uint64_t kHugeLength = uint64_t{40} << 30;
  // The engine runs in this process: where this allocation works, so would its buffer.
  if (void* probe = VirtualAlloc(nullptr, kHugeLength, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
    VirtualFree(probe, 0, MEM_RELEASE);
    GTEST_SKIP() << "a 40 GiB buffer can be had here";
  }
  MemoryHolder holder("--huge-gib 40");
  ASSERT_TRUE(holder.Ready());
  const auto entries = ScanPid(holder.Pid(), "huge.exe");
  std::vector<Entry> notScanned;
  for (const Entry& entry : entries) {
    if (entry.isMalware == "not scanned") notScanned.push_back(entry);
  }
  ASSERT_EQ(1u, notScanned.size());
  const Entry& entry = notScanned[0];
  EXPECT_TRUE(SamePath(holder.Path(), entry.processName)) << entry.processName;
  EXPECT_EQ(holder.PidText(), entry.processId);
  EXPECT_EQ("Could not allocate memory! ", entry.scannermessage);
  EXPECT_EQ("8", entry.scannerErrornumber);
  uint64_t start = 0, end = 0;
  ASSERT_TRUE(ParseRunTarget(entry.scantarget, &start, &end)) << entry.scantarget;
  EXPECT_GE(end - start, kHugeLength) << entry.scantarget;
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), Detected));
}
#endif

// Another thread of the host keeps releasing and re-protecting memory while
// the engine walks its own process: a run may vanish or lose its read right
// between the region query and the scan. The scan must end normally.
TEST_F(ProcessExports, OwnProcessScanSurvivesMemoryChangingUnderIt) {
  const std::string planted = "own: " + AntivirusTestString();
  // One large allocation in 64 KiB chunks. At any moment one chunk, picked
  // at random, is unreadable (no access, or decommitted) for a moment, so a
  // run queried as readable soon has a hole somewhere inside it.
  constexpr size_t kChunkLength = 64 * 1024;
  constexpr size_t kChunkCount = 512;
  char* const area = static_cast<char*>(
      VirtualAlloc(nullptr, kChunkLength * kChunkCount, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(nullptr, area);
  std::fill(area, area + kChunkLength * kChunkCount, 'a');
  std::atomic<bool> stop{false};
  std::atomic<long> changes{0};
  std::thread churn([&] {
    uint32_t random = 12345;
    LARGE_INTEGER frequency{}, now{}, until{};
    QueryPerformanceFrequency(&frequency);
    while (!stop.load()) {
      random = random * 1664525u + 1013904223u;
      char* chunk = area + (random >> 8) % kChunkCount * kChunkLength;
      DWORD old = 0;
      const bool release = changes.load() % 8 == 0;
      if (release) {
        VirtualFree(chunk, kChunkLength, MEM_DECOMMIT);
      } else {
        VirtualProtect(chunk, kChunkLength, PAGE_NOACCESS, &old);
      }
      QueryPerformanceCounter(&until);
      until.QuadPart += frequency.QuadPart / 5000;  // 200 microseconds
      do QueryPerformanceCounter(&now);
      while (now.QuadPart < until.QuadPart);
      if (release) {
        VirtualAlloc(chunk, kChunkLength, MEM_COMMIT, PAGE_READWRITE);
      } else {
        VirtualProtect(chunk, kChunkLength, PAGE_READWRITE, &old);
      }
      changes++;
    }
  });
  const auto entries = ScanPid(static_cast<intptr_t>(GetCurrentProcessId()), "self.exe");
  stop = true;
  churn.join();
  VirtualFree(area, 0, MEM_RELEASE);
  EXPECT_GT(changes.load(), 0);
  ASSERT_FALSE(entries.empty());
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), Detected));
  for (const Entry& entry : entries) {
    EXPECT_TRUE(SamePath(ProgramPath(), entry.processName)) << entry.processName;
    if (entry.isMalware == "not scanned") {
      // A run that changed under the copy: reported, not scanned.
      EXPECT_EQ(0u, entry.scannermessage.find("ReadProcessMemory -> ")) << entry.scannermessage;
      EXPECT_NE("0", entry.scannerErrornumber);
    }
  }
}

TEST_F(ProcessExports, OwnProcessEntriesCarryTheErrorNumberTheJobHeld) {
  // A failed session start gives the job an error number before the walk.
  const HRESULT sessionFailure = static_cast<HRESULT>(0x8007000E);
  const std::string held = std::to_string(Translated(sessionFailure));
  SetProviderSetting("TESTAMSI_FAIL_OPEN", "0x8007000E");
  // The engine's own process is copied only as a guard: a copy that worked
  // leaves the number alone, so every scanned run carries it.
  const auto own = ScanPid(static_cast<intptr_t>(GetCurrentProcessId()), "self.exe");
  size_t scanned = 0;
  for (const Entry& entry : own) {
    if (entry.isMalware == "not scanned") continue;
    ++scanned;
    EXPECT_EQ(held, entry.scannerErrornumber) << entry.scantarget;
  }
  EXPECT_GT(scanned, 0u);
  // A foreign process's read stores its own error, 0 when it worked.
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  const auto foreign = ScanPid(holder.Pid(), "memory_holder.exe");
  scanned = 0;
  for (const Entry& entry : foreign) {
    if (entry.isMalware == "not scanned") continue;
    ++scanned;
    EXPECT_EQ("0", entry.scannerErrornumber) << entry.scantarget;
  }
  EXPECT_GT(scanned, 0u);
  SetProviderSetting("TESTAMSI_FAIL_OPEN", nullptr);
}

TEST_F(ProcessExports, AllProcessesScansTheHolderAndTheEnginesOwnProcess) {
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  const auto entries = Scan([&](NotificationWindow& window) {
    return api.TarvexAllProcesses(window.Window(), &NotificationWindow::TimerProc, 0);
  });
  EXPECT_EQ(1, api.GetScanResult());
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const Entry& entry) {
    return entry.processId == holder.PidText() && Detected(entry);
  }));
  const std::string ownId = std::to_string(GetCurrentProcessId());
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const Entry& entry) {
    return entry.processId == ownId && SamePath(ProgramPath(), entry.processName);
  }));
}

TEST_F(ProcessExports, CancelDuringAllProcessesEndsTheJobWithoutNotification) {
  // The provider holds the job inside its first scan while the cancels come.
  ProviderHold hold;
  NotificationWindow window;
  ASSERT_EQ(0, api.TarvexAllProcesses(window.Window(), &NotificationWindow::TimerProc, 0));
  const HeldScanThread worker(hold, 60000);
  ASSERT_TRUE(worker.Found()) << "no scan started";
  api.CancleScan(&NotificationWindow::OtherTimerProc);  // not this job's key: ignored
  window.PumpFor(400);
  const size_t scansBeforeCancel = ProviderCalls("AmsiScanBuffer").size();
  ASSERT_EQ(0, window.Calls());
  api.CancleScan(&NotificationWindow::TimerProc);
  hold.Release();
  ASSERT_TRUE(worker.WaitForEnd(60000));
  // A timer armed at the job's end would have fired 333 ms later.
  EXPECT_EQ(0, window.PumpFor(1000));

  // The next job runs; the cancelled job scanned at most the run it was busy
  // with when the cancel came.
  const std::string content = "after the cancel";
  EXPECT_EQ(0, api.TarvexBuffer2("next.bin", content.data(), content.size(), 0, "", ""));
  const auto initializations = ProviderCalls("AmsiInitialize");
  ASSERT_EQ(2u, initializations.size());
  const std::string log = ProviderCallLog();
  const std::string cancelledJob = log.substr(0, log.rfind("AmsiInitialize"));
  size_t cancelledScans = 0;
  for (size_t at = cancelledJob.find("AmsiScanBuffer "); at != std::string::npos;
       at = cancelledJob.find("AmsiScanBuffer ", at + 1)) {
    ++cancelledScans;
  }
  EXPECT_GE(cancelledScans, scansBeforeCancel);
  EXPECT_LE(cancelledScans, scansBeforeCancel + 1);
  EXPECT_EQ(0, window.Calls());
}

}  // namespace
