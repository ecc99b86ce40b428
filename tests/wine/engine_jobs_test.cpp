// The job frame through the exports: cancel, the order of jobs, the library's
// lifetime under a worker, privileges, AMSI failures and bad input.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine_api.h"
#include "file_text.h"
#include "notification_window.h"
#include "system_texts.h"
#include "test_content.h"
#include "test_provider.h"
#include "token_privileges.h"
#include "win32_handles.h"

using namespace tarvex_test;

namespace {

class EngineJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Engine().Complete());
    ClearProviderSettings();
    ResetProviderCallLog();
  }
  void TearDown() override { ClearProviderSettings(); }
  EngineApi& api = Engine();
};

TEST_F(EngineJobs, CancelWithTheJobsProcedureEndsItWithoutNotification) {
  NotificationWindow window;
  const std::string content = "slow content";
  {
    ProviderHold hold;
    api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "slow.bin", content.data(),
                     content.size(), 0, "", "");
    const HeldScanThread worker(hold, 60000);
    ASSERT_TRUE(worker.Found()) << "the scan did not reach the provider";
    EXPECT_EQ(0, api.CancleScan(&NotificationWindow::TimerProc));
    EXPECT_EQ("", api.ScanObject());
    hold.Release();
    ASSERT_TRUE(worker.WaitForEnd(60000));
  }
  // A timer armed at the job's end would have fired 333 ms later.
  EXPECT_EQ(0, window.PumpFor(1000));
  // The report has the header and the rule but no entry line.
  const auto lines = CrLfLines(api.Report());
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(0u, lines[0].find("Prozessfilename"));
  EXPECT_EQ(std::string(lines[0].size(), '_'), lines[1]);

  // The next job runs clean and complete.
  api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "next.bin", content.data(),
                   content.size(), 0, "", "");
  ASSERT_TRUE(window.WaitForNotification(10000));
  EXPECT_EQ(3u, CrLfLines(api.Report()).size());
  EXPECT_EQ(0, api.GetScanResult());
}

TEST_F(EngineJobs, CancelWithAnotherProcedureChangesNothing) {
  NotificationWindow window;
  ProviderHold hold;
  const std::string content = AntivirusTestString();
  api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "other.bin", content.data(),
                   content.size(), 0, "", "");
  ASSERT_TRUE(HeldScanThread(hold, 60000).Found()) << "the scan did not reach the provider";
  EXPECT_EQ(0, api.CancleScan(&NotificationWindow::OtherTimerProc));
  EXPECT_EQ(0, api.CancleScan(nullptr));
  hold.Release();
  ASSERT_TRUE(window.WaitForNotification(10000));
  EXPECT_EQ(1, api.GetScanResult());
  EXPECT_EQ(3u, CrLfLines(api.Report()).size());
}

TEST_F(EngineJobs, ScanRightAfterACancelWaitsForTheEndingJobAndIsNotLost) {
  NotificationWindow window;
  const std::string first = "first job";
  const std::string second = AntivirusTestString();
  ProviderHold hold;
  api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "first.bin", first.data(),
                   first.size(), 0, "", "");
  ASSERT_TRUE(HeldScanThread(hold, 60000).Found()) << "the scan did not reach the provider";
  api.CancleScan(&NotificationWindow::TimerProc);
  // The first worker is still inside its scan when the new job is asked for:
  // the new job must not overlap it.
  hold.Release();
  api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "second.bin", second.data(),
                   second.size(), 0, "", "");
  ASSERT_TRUE(window.WaitForNotification(10000));
  EXPECT_EQ(1, window.PumpFor(700));  // exactly one notification: the second job's
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("second.bin", entries[1].scantarget);
  EXPECT_EQ("yes (32768)", entries[1].isMalware);

  // The provider saw the first job close before the second one opened.
  const std::string log = ProviderCallLog();
  const size_t firstEnd = log.find("AmsiUninitialize");
  const size_t secondStart = log.find("AmsiInitialize", log.find("AmsiInitialize") + 1);
  ASSERT_NE(std::string::npos, firstEnd);
  ASSERT_NE(std::string::npos, secondStart);
  EXPECT_LT(firstEnd, secondStart);
  EXPECT_EQ(2u, ProviderCalls("AmsiInitialize").size());
  EXPECT_EQ(2u, ProviderCalls("AmsiUninitialize").size());
}

TEST_F(EngineJobs, SynchronousScanAfterACancelAlsoWaits) {
  NotificationWindow window;
  ProviderHold hold;
  const std::string content = "data";
  api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "async.bin", content.data(),
                   content.size(), 0, "", "");
  ASSERT_TRUE(HeldScanThread(hold, 60000).Found()) << "the scan did not reach the provider";
  api.CancleScan(&NotificationWindow::TimerProc);
  hold.Release();
  EXPECT_EQ(0, api.TarvexBuffer2("sync.bin", content.data(), content.size(), 0, "", ""));
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("sync.bin", entries[1].scantarget);
  EXPECT_EQ(0, window.PumpFor(500));
}

TEST_F(EngineJobs, LibraryStaysLoadedUntilItsWorkerEnds) {
  // A second copy of the engine under its own name, so that this test can drop
  // the last reference while a job runs.
  HMODULE copy = LoadLibraryA("tarvex_unload_copy.dll");
  ASSERT_NE(nullptr, copy);
  using BufferFn = decltype(&::TarvexBuffer);
  auto buffer =
      reinterpret_cast<BufferFn>(reinterpret_cast<void*>(GetProcAddress(copy, "TarvexBuffer")));
  ASSERT_NE(nullptr, buffer);
  NotificationWindow window;
  ProviderHold hold;
  static const std::string content = "kept alive";
  buffer(window.Window(), &NotificationWindow::TimerProc, "unload.bin", content.data(),
         content.size(), 0, "", "");
  ASSERT_TRUE(FreeLibrary(copy));
  const HeldScanThread worker(hold, 60000);
  ASSERT_TRUE(worker.Found()) << "the scan did not reach the provider";
  EXPECT_NE(nullptr, GetModuleHandleA("tarvex_unload_copy.dll")) << "unloaded under its worker";
  hold.Release();
  ASSERT_TRUE(window.WaitForNotification(60000));
  // The worker drops its reference as it ends.
  ASSERT_TRUE(worker.WaitForEnd(60000));
  EXPECT_EQ(nullptr, GetModuleHandleA("tarvex_unload_copy.dll")) << "worker kept its reference";
}

// Ids of this process's running threads.
std::set<DWORD> RunningThreadIds() {
  std::set<DWORD> ids;
  const tarvex::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
       more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
  }
  return ids;
}

// The open handles of this process that refer to threads, each with its
// thread's id, found by asking each handle value (GetThreadId answers 0 for
// other objects). Wine gives an ended thread's id to new threads while a
// handle of the ended one is still open, so a handle is told by the pair.
std::set<std::pair<uintptr_t, DWORD>> ThreadHandles() {
  std::set<std::pair<uintptr_t, DWORD>> handles;
  for (uintptr_t value = 4; value < (1u << 18); value += 4) {
    DWORD flags = 0;
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    if (!GetHandleInformation(handle, &flags)) continue;
    const DWORD id = GetThreadId(handle);
    if (id != 0) handles.insert({value, id});
  }
  return handles;
}

TEST_F(EngineJobs, UnloadingTheEngineClosesItsLastWorkersHandle) {
  const std::set<DWORD> threadsBefore = RunningThreadIds();
  const auto handlesBefore = ThreadHandles();
  HMODULE copy = LoadLibraryA("tarvex_unload_copy.dll");
  ASSERT_NE(nullptr, copy);
  using BufferFn = decltype(&::TarvexBuffer);
  auto buffer =
      reinterpret_cast<BufferFn>(reinterpret_cast<void*>(GetProcAddress(copy, "TarvexBuffer")));
  ASSERT_NE(nullptr, buffer);
  NotificationWindow window;
  static const std::string content = "last worker";
  buffer(window.Window(), &NotificationWindow::TimerProc, "last.bin", content.data(),
         content.size(), 0, "", "");
  ASSERT_TRUE(window.WaitForNotification(10000));
  // The engine keeps its last worker's handle, so that a next job can wait on
  // it: a new handle of a thread that did not run before the job.
  std::set<std::pair<uintptr_t, DWORD>> workerHandles;
  for (const auto& handle : ThreadHandles()) {
    if (handlesBefore.count(handle) == 0 && threadsBefore.count(handle.second) == 0) {
      workerHandles.insert(handle);
    }
  }
  ASSERT_FALSE(workerHandles.empty()) << "no handle of the worker found";
  // The worker drops the library's last reference when it ends.
  ASSERT_TRUE(FreeLibrary(copy));
  const ULONGLONG unloadDeadline = GetTickCount64() + 10000;
  while (GetModuleHandleA("tarvex_unload_copy.dll") != nullptr &&
         GetTickCount64() < unloadDeadline) {
    Sleep(10);
  }
  ASSERT_EQ(nullptr, GetModuleHandleA("tarvex_unload_copy.dll"));
  const auto handlesAfter = ThreadHandles();
  for (const auto& [value, id] : workerHandles) {
    EXPECT_EQ(0u, handlesAfter.count({value, id}))
        << "handle " << value << " of the worker thread " << id << " is still open";
  }
}

TEST_F(EngineJobs, PrivilegesAreOnDuringTheJobAndAsBeforeAfterIt) {
  const std::string content = "x";
  struct Case {
    bool debugBefore;
    bool backupBefore;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    ASSERT_TRUE(SetPrivilege("SeDebugPrivilege", c.debugBefore));
    ASSERT_TRUE(SetPrivilege("SeBackupPrivilege", c.backupBefore));
    ResetProviderCallLog();
    api.TarvexBuffer2("p.bin", content.data(), content.size(), 0, "", "");
    EXPECT_EQ(std::vector<std::string>{"AmsiScanBuffer-privileges debug=1 backup=1"},
              ProviderCalls("AmsiScanBuffer-privileges"));
    EXPECT_EQ(c.debugBefore, PrivilegeEnabled("SeDebugPrivilege"));
    EXPECT_EQ(c.backupBefore, PrivilegeEnabled("SeBackupPrivilege"));
  }
  // A cancelled job restores them too.
  ASSERT_TRUE(SetPrivilege("SeDebugPrivilege", false));
  ASSERT_TRUE(SetPrivilege("SeBackupPrivilege", false));
  NotificationWindow window;
  ProviderHold hold;
  api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "c.bin", content.data(),
                   content.size(), 0, "", "");
  ASSERT_TRUE(HeldScanThread(hold, 60000).Found()) << "the scan did not reach the provider";
  api.CancleScan(&NotificationWindow::TimerProc);
  hold.Release();
  api.TarvexBuffer2("after.bin", content.data(), content.size(), 0, "",
                    "");  // waits for the worker
  EXPECT_FALSE(PrivilegeEnabled("SeDebugPrivilege"));
  EXPECT_FALSE(PrivilegeEnabled("SeBackupPrivilege"));
}

TEST_F(EngineJobs, FailedAmsiInitializeIsReportedInEachEntry) {
  const HRESULT failure = static_cast<HRESULT>(0x80070005);
  SetProviderSetting("TESTAMSI_FAIL_INIT", "0x80070005");
  const std::string content = AntivirusTestString();
  EXPECT_EQ(-1, api.TarvexBuffer2("init.bin", content.data(), content.size(), 0, "", ""));
  EXPECT_EQ(0, api.IsAmsiAvailable());
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("not scanned (0)", entries[1].isMalware);
  std::string note = SystemText(Translated(failure));
  if (note.empty()) note = " ";
  // The scan ran with a null context; its own failure text comes first, then the note.
  const std::string scanText = SystemText(Translated(E_INVALIDARG));
  EXPECT_EQ(scanText + "AmsiInitialize: " + note, entries[1].scannermessage);
  EXPECT_EQ(std::string::npos, entries[1].scannermessage.find('\n'));
  EXPECT_EQ(std::to_string(Translated(failure)), entries[1].scannerErrornumber);
  EXPECT_EQ(0u, ProviderCalls("AmsiOpenSession").size());
  EXPECT_EQ(0u, ProviderCalls("AmsiUninitialize").size());
}

TEST_F(EngineJobs, FailedAmsiOpenSessionKeepsTheContextAndReleasesIt) {
  SetProviderSetting("TESTAMSI_FAIL_OPEN", "0x8007000E");
  const std::string content = "clean";
  EXPECT_EQ(0, api.TarvexBuffer2("open.bin", content.data(), content.size(), 0, "", ""));
  EXPECT_EQ(1, api.IsAmsiAvailable());
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  // The scans use the context, not the session, so the block is still scanned.
  EXPECT_EQ("no (1)", entries[1].isMalware);
  EXPECT_NE(std::string::npos, entries[1].scannermessage.find("AmsiOpenSession: "));
  EXPECT_EQ(std::to_string(Translated(static_cast<HRESULT>(0x8007000E))),
            entries[1].scannerErrornumber);
  EXPECT_EQ(0u, ProviderCalls("AmsiCloseSession").size());
  EXPECT_EQ(std::vector<std::string>{"AmsiUninitialize context=valid"},
            ProviderCalls("AmsiUninitialize"));
}

TEST_F(EngineJobs, FailedScanIsNotScannedAndLeavesTheVerdict) {
  SetProviderSetting("TESTAMSI_FAIL_SCAN", "0x80004005");
  const std::string content = AntivirusTestString();
  EXPECT_EQ(-1, api.TarvexBuffer2("scan.bin", content.data(), content.size(), 0, "", ""));
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("not scanned (0)", entries[1].isMalware);
  EXPECT_EQ(SystemText(Translated(E_FAIL)) + " ", entries[1].scannermessage);
  EXPECT_EQ(std::to_string(Translated(E_FAIL)), entries[1].scannerErrornumber);
  EXPECT_EQ(2, api.IsAmsiAvailable());
  EXPECT_EQ(1u, ProviderCalls("AmsiCloseSession").size());
}

TEST_F(EngineJobs, FindingsOnlyDropsTheWordOfCleanVerdictsOnly) {
  const std::string clean = "clean";
  const std::string bad = AntivirusTestString();
  EXPECT_EQ(0, api.TarvexBuffer2("c", clean.data(), clean.size(), 1, "", ""));
  EXPECT_EQ(" (1)", ReadEntries()[1].isMalware);
  EXPECT_EQ(1, api.TarvexBuffer2("d", bad.data(), bad.size(), 1, "", ""));
  EXPECT_EQ("yes (32768)", ReadEntries()[1].isMalware);
}

TEST_F(EngineJobs, CleanEntryCarriesTheSystemTextForSuccessAndTheNote) {
  const std::string clean = "clean";
  api.TarvexBuffer2("ok.bin", clean.data(), clean.size(), 0, nullptr, nullptr);
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(SystemText(0) + " ", entries[1].scannermessage);
  EXPECT_EQ("", entries[1].processName);
  EXPECT_EQ("", entries[1].processId);
}

TEST_F(EngineJobs, BadInputGetsItsResultAndNeverACrash) {
  EXPECT_EQ(0, api.TarvexBuffer2(nullptr, "", 0, 0, nullptr, nullptr));
  auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("", entries[1].scantarget);
  EXPECT_EQ("name=", ProviderCalls("AmsiScanBuffer")
                         .back()
                         .substr(ProviderCalls("AmsiScanBuffer").back().rfind("name=")));
  EXPECT_EQ(-1, api.GetScanlistEntry(nullptr));
  EXPECT_EQ(-1, api.GetScanlistEntry(""));
  EXPECT_EQ(-1, api.GetScanlistEntry("scantarget"));
  EXPECT_EQ(-1, api.GetScanlistEntry("ScanTarget"));
  // An unknown name moves no cursor.
  api.SetScanlistToStart();
  EXPECT_EQ(-1, api.GetScanlistEntry("isMalware"));
  EXPECT_STREQ("Is it Malware?", reinterpret_cast<const char*>(api.GetScanlistEntry("IsMalware")));
}

TEST_F(EngineJobs, CursorsOfTheFieldsMoveIndependently) {
  const std::string a = "a";
  api.TarvexBuffer2("one", a.data(), a.size(), 0, "", "");
  EXPECT_EQ(2, api.GetScanlistSize());
  api.SetScanlistToStart();
  EXPECT_STREQ("Scantarget", reinterpret_cast<const char*>(api.GetScanlistEntry("Scantarget")));
  EXPECT_STREQ("one", reinterpret_cast<const char*>(api.GetScanlistEntry("Scantarget")));
  EXPECT_EQ(0, api.GetScanlistEntry("Scantarget"));
  EXPECT_EQ(0, api.GetScanlistEntry("Scantarget"));
  EXPECT_STREQ("Is it Malware?", reinterpret_cast<const char*>(api.GetScanlistEntry("IsMalware")));
}

#ifdef _WIN64
TEST_F(EngineJobs, BufferOf4GiBAndMoreIsScannedWholeInPieces) {
  const uint64_t length = (uint64_t{1} << 32) + (uint64_t{64} << 20);
  char* buffer = static_cast<char*>(
      VirtualAlloc(nullptr, static_cast<SIZE_T>(length), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (buffer == nullptr) GTEST_SKIP() << "no 4 GiB of address space";
  const std::string bad = AntivirusTestString();
  struct Case {
    uint64_t offset;
    const char* why;
  } cases[] = {{length - 1000, "beyond 4 GiB"},
               {(uint64_t{1} << 31) - 10, "across the first piece border"}};
  for (const Case& c : cases) {
    memcpy(buffer + c.offset, bad.data(), bad.size());
    ResetProviderCallLog();
    EXPECT_EQ(1, api.TarvexBuffer2("huge.bin", buffer, static_cast<uintptr_t>(length), 0, "", ""))
        << c.why;
    EXPECT_EQ("yes (32768)", ReadEntries()[1].isMalware) << c.why;
    memset(buffer + c.offset, 0, bad.size());
  }
  // Clean: every byte was handed over, in pieces that fit AMSI's 32-bit length.
  ResetProviderCallLog();
  EXPECT_EQ(0, api.TarvexBuffer2("huge.bin", buffer, static_cast<uintptr_t>(length), 0, "", ""));
  const auto scans = ProviderCalls("AmsiScanBuffer");
  ASSERT_EQ(3u, scans.size());
  EXPECT_EQ(2u, ReadEntries().size());
  VirtualFree(buffer, 0, MEM_RELEASE);
}
#endif

}  // namespace
