// Faults injected into the engine's fault-injection test build, loaded by
// file name from its own folder exactly as a caller loads the shipped engine
// (ctest wine_engine_faults). TARVEX_FAULT makes an allocation, CreateThread
// or SetTimer fail at a chosen point; TARVEX_FAULT_PAUSE holds the job's
// thread at a point until the test lets it go on (engine/fault_injection.h).
// Every job must end: a report of at least the header and the rule, the
// caller told, the cancel flag cleared, an entry saying what was not
// scanned, and never the verdict 0 for data that was not scanned.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_api.h"
#include "file_text.h"
#include "notification_window.h"
#include "paused_job.h"
#include "process_fixture.h"
#include "scoped_environment.h"
#include "stream_test_files.h"
#include "system_texts.h"
#include "test_content.h"
#include "test_provider.h"
#include "token_privileges.h"
#include "win32_handles.h"

using namespace tarvex_test;

namespace {

constexpr DWORD kJobTimeoutMs = 60000;
const std::string kStopNote = "The job stopped here; the rest was not scanned!";

std::string Hex(uintptr_t value) {
  char text[32] = {};
  std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
  return text;
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(api.Complete()) << "engine or an export missing";
    ClearProviderSettings();
    ResetProviderCallLog();
    SetEnvironmentVariableA("TARVEX_FAULT", nullptr);
    SetEnvironmentVariableA("TARVEX_FAULT_PAUSE", nullptr);
  }
  void TearDown() override {
    SetEnvironmentVariableA("TARVEX_FAULT", nullptr);
    SetEnvironmentVariableA("TARVEX_FAULT_PAUSE", nullptr);
    ClearProviderSettings();
  }

  // After a faulty job: the next job runs clean and complete, so the cancel
  // flag and the rest of the job state were put right.
  void ExpectTheNextJobRunsNormally() {
    SetEnvironmentVariableA("TARVEX_FAULT", nullptr);
    NotificationWindow window;
    const std::string content = "next job";
    api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "next.bin", content.data(),
                     content.size(), 0, "", "");
    ASSERT_TRUE(window.WaitForNotification(kJobTimeoutMs));
    EXPECT_EQ(0, api.GetScanResult());
    EXPECT_EQ(3u, CrLfLines(api.Report()).size());
    EXPECT_EQ("", api.ScanObject());
  }

  EngineApi& api = Engine();
};

// The header line and the rule line a report always begins with.
void ExpectHeaderAndRule(const std::vector<std::string>& lines) {
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(0u, lines[0].find("Prozessfilename"));
  EXPECT_EQ(std::string(lines[0].size(), '_'), lines[1]);
}

TEST_F(Faults, TheFaultBuildIsTheOneLoaded) {
  // Without a fault the engine works as shipped; with one it fails where told.
  const std::string content = "clean";
  EXPECT_EQ(0, api.TarvexBuffer2("plain.bin", content.data(), content.size(), 0, "", ""));
  const ScopedEnvironment fault({{std::string("TARVEX_FAULT"), "ScanBufferCore"}});
  EXPECT_EQ(-1, api.TarvexBuffer2("fails.bin", content.data(), content.size(), 0, "", ""));
}

TEST_F(Faults, AnAsynchronousJobWhoseFrameFailsStillEndsAndNotifies) {
  ASSERT_TRUE(SetPrivilege("SeDebugPrivilege", false));
  ASSERT_TRUE(SetPrivilege("SeBackupPrivilege", false));
  const std::string content = AntivirusTestString();
  struct Case {
    const char* point;
    size_t lines;             // of the report
    intptr_t verdict;         // the block was scanned only when EndScanJob failed
    const char* lastMessage;  // start of the last line's scanner message
  } cases[] = {
      {"BeginScanJob", 3, -1, "BeginScanJob -> Could not allocate memory! "},
      {"EndScanJob", 3, 1, "EndScanJob -> Could not allocate memory! "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    NotificationWindow window;
    {
      const ScopedEnvironment fault({{std::string("TARVEX_FAULT"), c.point}});
      EXPECT_EQ(0, api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "frame.bin",
                                    content.data(), content.size(), 0, "", ""));
      ASSERT_TRUE(window.WaitForNotification(kJobTimeoutMs)) << "the caller was never told";
    }
    EXPECT_EQ(TARVEX_NOTIFY_TIMER_ID, window.LastTimerId());
    EXPECT_EQ(c.verdict, api.GetScanResult());
    const auto lines = CrLfLines(api.Report());
    ASSERT_EQ(c.lines, lines.size()) << api.Report();
    ExpectHeaderAndRule(lines);
    EXPECT_NE(std::string::npos, lines.back().find(c.lastMessage)) << lines.back();
    // The privileges are as before the job, also when BeginScanJob failed
    // after it had switched them on.
    EXPECT_FALSE(PrivilegeEnabled("SeDebugPrivilege"));
    EXPECT_FALSE(PrivilegeEnabled("SeBackupPrivilege"));
    // The AMSI context of a job whose end failed was still released.
    EXPECT_EQ(ProviderCalls("AmsiInitialize").size(), ProviderCalls("AmsiUninitialize").size());
  }
  ExpectTheNextJobRunsNormally();
}

TEST_F(Faults, AFailedBeginReplacesThePreviousJobsEntries) {
  const std::string bad = AntivirusTestString();
  EXPECT_EQ(1, api.TarvexBuffer2("earlier.bin", bad.data(), bad.size(), 0, "", ""));
  ResetProviderCallLog();
  const ScopedEnvironment fault({{std::string("TARVEX_FAULT"), "BeginScanJob"}});
  EXPECT_EQ(-1, api.TarvexBuffer2("now.bin", bad.data(), bad.size(), 0, "", ""));
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("now.bin", entries[1].scantarget);
  EXPECT_EQ("not scanned (0)", entries[1].isMalware);
  EXPECT_EQ("BeginScanJob -> Could not allocate memory! " + kStopNote, entries[1].scannermessage);
  EXPECT_EQ("8", entries[1].scannerErrornumber);
  EXPECT_EQ(0u, ProviderCalls("AmsiInitialize").size());
  EXPECT_EQ(0u, ProviderCalls("AmsiScanBuffer").size());
}

TEST_F(Faults, AScannerThatRunsOutOfMemoryLeavesAnEntryAndNeverAVerdictOfClean) {
  // A process whose memory is clean: its first run is scanned clean, the
  // second one fails, the rest is never reached.
  MemoryHolder holder("--clean 1");
  ASSERT_TRUE(holder.Ready());
  NotificationWindow window;
  {
    const ScopedEnvironment fault({{std::string("TARVEX_FAULT"), "ScanBufferCore:2"}});
    api.TarvexProcessWithPid(window.Window(), &NotificationWindow::TimerProc, holder.Pid(),
                             "memory_holder.exe", 0);
    ASSERT_TRUE(window.WaitForNotification(kJobTimeoutMs));
  }
  // The first run's entry (and any run that could not be read), then the stop.
  const auto entries = ReadEntries();
  ASSERT_GE(entries.size(), 3u);
  size_t clean = 0;
  for (size_t i = 1; i + 1 < entries.size(); ++i) {
    if (entries[i].isMalware.compare(0, 4, "no (") == 0) ++clean;
  }
  EXPECT_EQ(1u, clean);
  const Entry& stop = entries.back();
  EXPECT_EQ("memory_holder.exe", stop.processName);
  EXPECT_EQ(holder.PidText(), stop.processId);
  EXPECT_EQ("", stop.scantarget);
  EXPECT_EQ("not scanned", stop.isMalware);
  EXPECT_EQ("ScanProcessMemory -> Could not allocate memory! " + kStopNote, stop.scannermessage);
  EXPECT_EQ("8", stop.scannerErrornumber);
  // Something was scanned clean, but not everything: never 0.
  EXPECT_EQ(-1, api.GetScanResult());
  EXPECT_EQ(entries.size() + 1, CrLfLines(api.Report()).size());
  ExpectTheNextJobRunsNormally();
}

TEST_F(Faults, AStreamScanThatRunsOutOfMemoryIsReportedAsStopped) {
  const TempFolder folder("tarvex-faults-stream");
  ASSERT_TRUE(folder.Ok());
  ASSERT_TRUE(PutFile(folder.Wide(L"a.txt"), "a"));
  const std::string stream = folder.Ansi("a.txt");
  for (const bool synchronous : {true, false}) {
    SCOPED_TRACE(synchronous ? "TarvexAds2" : "TarvexAds");
    NotificationWindow window;
    {
      const ScopedEnvironment fault({{std::string("TARVEX_FAULT"), "ScanStreamContent"}});
      if (synchronous) {
        EXPECT_EQ(-1, api.TarvexAds2(stream.c_str(), 0));
      } else {
        EXPECT_EQ(
            0, api.TarvexAds(window.Window(), &NotificationWindow::TimerProc, stream.c_str(), 0));
        ASSERT_TRUE(window.WaitForNotification(kJobTimeoutMs));
      }
    }
    const auto entries = ReadEntries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(stream, entries[1].scantarget);
    EXPECT_EQ("not scanned (0)", entries[1].isMalware);
    EXPECT_EQ("ScanStreamContent -> Could not allocate memory! " + kStopNote,
              entries[1].scannermessage);
    EXPECT_EQ(-1, api.GetScanResult());
  }
}

TEST_F(Faults, ASynchronousExportThatCannotCopyItsArgumentsReturnsMinusOne) {
  const std::string clean = "clean";
  EXPECT_EQ(0, api.TarvexBuffer2("earlier.bin", clean.data(), clean.size(), 0, "", ""));
  ResetProviderCallLog();
  const ScopedEnvironment fault({{std::string("TARVEX_FAULT"), "ExportArguments"}});
  EXPECT_EQ(-1, api.TarvexBuffer2("never.bin", clean.data(), clean.size(), 0, "", ""));
  EXPECT_EQ(-1, api.GetScanResult());
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("not scanned (0)", entries[1].isMalware);
  EXPECT_EQ("TarvexBuffer2 -> Could not allocate memory!", entries[1].scannermessage);
  EXPECT_EQ("8", entries[1].scannerErrornumber);
  ExpectHeaderAndRule(CrLfLines(api.Report()));
  EXPECT_EQ(0u, ProviderCalls("AmsiInitialize").size());
}

TEST_F(Faults, AnAsynchronousJobThatCannotStartEndsOnTheCallersThreadAndNotifies) {
  const std::string content = "content";
  struct Case {
    const char* point;
    const char* scantarget;
    std::string message;
  } cases[] = {
      {"CreateThread", "start.bin", "CreateThread -> " + SystemText(ERROR_NOT_ENOUGH_MEMORY)},
      {"ExportArguments", "", "TarvexBuffer -> Could not allocate memory!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    ResetProviderCallLog();
    NotificationWindow window;
    {
      const ScopedEnvironment fault({{std::string("TARVEX_FAULT"), c.point}});
      EXPECT_EQ(0, api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "start.bin",
                                    content.data(), content.size(), 0, "", ""));
    }
    // The job has ended before the export returned.
    EXPECT_EQ(-1, api.GetScanResult());
    const auto entries = ReadEntries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(c.scantarget, entries[1].scantarget);
    EXPECT_EQ("not scanned (0)", entries[1].isMalware);
    EXPECT_EQ(c.message, entries[1].scannermessage);
    EXPECT_EQ("8", entries[1].scannerErrornumber);
    EXPECT_EQ(3u, CrLfLines(api.Report()).size());
    EXPECT_EQ(0u, ProviderCalls("AmsiInitialize").size());
    // The caller is told as at the end of any job, on its own thread.
    ASSERT_TRUE(window.WaitForNotification(kJobTimeoutMs));
    EXPECT_TRUE(window.CalledOnOwnerThread());
  }
  ExpectTheNextJobRunsNormally();
}

TEST_F(Faults, WhenSetTimerFailsTheTimerMessageIsPostedInstead) {
  const std::string content = "content";
  NotificationWindow window;
  {
    const ScopedEnvironment fault({{std::string("TARVEX_FAULT"), "SetTimer"}});
    api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "timer.bin", content.data(),
                     content.size(), 0, "", "");
    // Looks at the window's messages before they are dispatched.
    const ULONGLONG deadline = GetTickCount64() + kJobTimeoutMs;
    MSG message{};
    bool posted = false;
    while (!posted && GetTickCount64() < deadline) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      while (PeekMessageA(&message, window.Handle(), WM_TIMER, WM_TIMER, PM_NOREMOVE)) {
        posted = true;
        break;
      }
    }
    ASSERT_TRUE(posted) << "no WM_TIMER for the window";
    EXPECT_EQ(static_cast<WPARAM>(TARVEX_NOTIFY_TIMER_ID), message.wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(&NotificationWindow::TimerProc), message.lParam)
        << Hex(static_cast<uintptr_t>(message.lParam));
  }
  // Dispatched, the message runs the caller's procedure once.
  ASSERT_TRUE(window.WaitForNotification(kJobTimeoutMs));
  EXPECT_EQ(TARVEX_NOTIFY_TIMER_ID, window.LastTimerId());
  EXPECT_EQ(1, window.PumpFor(700));
  EXPECT_EQ(0, api.GetScanResult());
}

TEST_F(Faults, ACancelBeforeTheJobBeginsKeepsTheScanObjectEmpty) {
  const TempFolder folder("tarvex-faults-cancel");
  ASSERT_TRUE(folder.Ok());
  ASSERT_TRUE(PutFile(folder.Wide(L"named.txt"), "content"));
  const std::string path = folder.Ansi("named.txt");
  const PausedJob job;
  NotificationWindow window;
  const ScopedEnvironment pause(
      {{std::string("TARVEX_FAULT_PAUSE"), "BeginScanJob,ScanStreamContent"}});
  ASSERT_EQ(0, api.TarvexAds(window.Window(), &NotificationWindow::TimerProc, path.c_str(), 0));
  // The export has returned; the job has not begun yet.
  ASSERT_TRUE(job.WaitUntilPaused());
  api.CancleScan(&NotificationWindow::TimerProc);
  job.Resume();
  // The scanner has named its object by now: the cancel still holds the text empty.
  ASSERT_TRUE(job.WaitUntilPaused());
  EXPECT_EQ("", api.ScanObject());
  job.Resume();
  // A cancelled job sends no notification; the next job waits for it and runs.
  EXPECT_EQ(0, window.PumpFor(700));
  SetEnvironmentVariableA("TARVEX_FAULT_PAUSE", nullptr);
  ExpectTheNextJobRunsNormally();
}

}  // namespace
