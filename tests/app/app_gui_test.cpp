// The real Ostrelle program under Wine, driven from this process: the idle
// window, scans through the menu commands and dialogs, cancel, delete, save,
// closing during a scan, a missing engine (and one planted in the current
// folder) and the automatic mode. Texts are the program's own (code page 1252).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "app_driver.h"
#include "engine_api.h"
#include "test_content.h"
#include "test_provider.h"

using namespace ostrelle_test;

namespace {

class AppGui : public ::testing::Test {
 protected:
  void TearDown() override { EndProcessesNamed("notepad.exe"); }
  TextAssociation association_;
};

TEST_F(AppGui, IdleWindowAsStarted) {
  AppProcess app;
  ASSERT_TRUE(app.Started());
  EXPECT_EQ(TextSelectScan(), app.StatusText());
  RECT client{};
  GetClientRect(app.Window(), &client);
  EXPECT_EQ(640, client.right);
  EXPECT_EQ(WS_OVERLAPPEDWINDOW,
            static_cast<DWORD>(GetWindowLongA(app.Window(), GWL_STYLE)) & WS_OVERLAPPEDWINDOW);
  // The list view adds its own scroll bar styles.
  EXPECT_EQ(0x5480804Du, static_cast<DWORD>(GetWindowLongA(app.ListView(), GWL_STYLE)) &
                             ~static_cast<DWORD>(WS_HSCROLL | WS_VSCROLL));
  EXPECT_EQ(0x421u,
            static_cast<DWORD>(SendMessageA(app.ListView(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)));
  RECT list{};
  GetWindowRect(app.ListView(), &list);
  MapWindowPoints(nullptr, app.Window(), reinterpret_cast<POINT*>(&list), 2);
  EXPECT_EQ(20, list.left);
  EXPECT_EQ(20, list.top);
  EXPECT_EQ(600, list.right - list.left);
  EXPECT_EQ(client.bottom - GetSystemMetrics(SM_CYCAPTION) - 79, list.bottom - list.top);
  HWND header = reinterpret_cast<HWND>(SendMessageA(app.ListView(), LVM_GETHEADER, 0, 0));
  EXPECT_EQ(6, static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)));
  for (int column = 0; column < 6; ++column) EXPECT_EQ("", app.ColumnTitle(column));
  EXPECT_EQ(0, app.RowCount());

  // Resizing keeps the layout rule; a tiny window gives positive sizes.
  SetWindowPos(app.Window(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(WaitUntil(
      [&] {
        RECT c{}, l{};
        GetClientRect(app.Window(), &c);
        GetWindowRect(app.ListView(), &l);
        return l.right - l.left == std::abs(c.right - 40);
      },
      5000));
  SetWindowPos(app.Window(), nullptr, 0, 0, 30, 60, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(WaitUntil(
      [&] {
        RECT c{}, l{};
        GetClientRect(app.Window(), &c);
        GetWindowRect(app.ListView(), &l);
        return l.right - l.left == std::abs(c.right - 40) &&
               l.bottom - l.top == std::abs(c.bottom - GetSystemMetrics(SM_CYCAPTION) - 79);
      },
      5000));

  // Commands of disabled items do nothing: no cancel while idle, no save without a log.
  app.Command(106);
  app.Command(102);
  Sleep(1500);
  EXPECT_EQ(TextSelectScan(), app.StatusText());
  EXPECT_EQ(nullptr, app.FindOwnWindow(TextSaveTitle()));

  app.Close();
  DWORD exitCode = 1;
  ASSERT_TRUE(app.WaitForExit(15000, &exitCode));
  EXPECT_EQ(0u, exitCode);
}

// Scans the processes of the name through the input dialog: seen running
// while the provider holds it, then waited for to its end.
void ScanProcessesNamed(const AppProcess& app, tarvex_test::ProviderHold& hold,
                        const std::string& name) {
  ASSERT_TRUE(hold.Hold());
  app.Command(109);
  EnterProcessName(app, name);
  ASSERT_TRUE(WaitUntil([&] { return StartsWith(app.StatusText(), TextInProgress()); }, 60000))
      << app.StatusText();
  hold.Release();
  ASSERT_TRUE(app.WaitForStatus(TextReady(), 300000)) << app.StatusText();
}

TEST_F(AppGui, ScanByNameThroughTheInputDialogThenDeleteAndSave) {
  Holder holder;
  tarvex_test::ProviderHold hold(false);
  AppProcess app;
  ASSERT_TRUE(app.Started());
  const std::vector<std::string> titles = EngineTitles();
  ASSERT_EQ(6u, titles.size());

  // Closing the input dialog starts nothing; OK on an empty field neither.
  app.Command(109);
  HWND dialog = app.WaitForOwnWindow(T("Processname", "Prozessname"), 10000);
  ASSERT_NE(nullptr, dialog);
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil(
      [&] { return app.FindOwnWindow(T("Processname", "Prozessname")) == nullptr; }, 5000));
  app.Command(109);
  EnterProcessName(app, "");
  ASSERT_TRUE(WaitUntil(
      [&] { return app.FindOwnWindow(T("Processname", "Prozessname")) == nullptr; }, 5000));
  Sleep(500);
  EXPECT_EQ(TextSelectScan(), app.StatusText());

  // The scan itself; the name is passed on as typed (the engine ignores case).
  ASSERT_NO_FATAL_FAILURE(ScanProcessesNamed(app, hold, "OSTRELLE_holder.exe"));
  for (int column = 0; column < 6; ++column) EXPECT_EQ(titles[column], app.ColumnTitle(column));
  const auto rows = app.Rows();
  bool detection = false;
  for (const auto& row : rows) {
    EXPECT_TRUE(EndsWith(Lower(row[0]), kHolderName)) << row[0];
    EXPECT_EQ(std::to_string(holder.Id()), row[1]);
    if (StartsWith(row[3], "yes (32768)") || StartsWith(row[3], "ja (32768)")) detection = true;
  }
  if (!rows.empty()) {
    EXPECT_TRUE(detection) << "the holder's test string was not found";
  }

  // A second scan appends its rows below the first.
  const int firstCount = app.RowCount();
  ASSERT_NO_FATAL_FAILURE(ScanProcessesNamed(app, hold, kHolderName));
  const int secondCount = app.RowCount();
  EXPECT_GE(secondCount, firstCount);
  if (firstCount > 0) {
    EXPECT_GT(secondCount, firstCount);
  }

  const std::string bothPath = FreshPath("two-scans.txt");
  SaveThroughDialog(app, bothPath);
  const auto both = ParseLog(ReadWholeFile(bothPath));
  ASSERT_EQ(2u, both.size());
  ExpectHeader(both[0],
               T("processes with name ", "Prozesse mit Prozessnamen ") + "OSTRELLE_holder.exe");
  ExpectHeader(both[1], T("processes with name ", "Prozesse mit Prozessnamen ") + kHolderName);
  ExpectFinishedWithReport(both[0], titles);
  ExpectFinishedWithReport(both[1], titles);
  EXPECT_EQ(static_cast<size_t>(firstCount), both[0].report.size() - 2);
  EXPECT_EQ(static_cast<size_t>(secondCount - firstCount), both[1].report.size() - 2);
  // A .txt log is handed to the shell; whatever it starts is ended here.
  EndProcessesNamed("notepad.exe");

  // Delete: no rows, no log, the save command disabled; the titles stay.
  app.Command(105);
  ASSERT_TRUE(WaitUntil([&] { return app.RowCount() == 0; }, 5000));
  EXPECT_EQ(titles[0], app.ColumnTitle(0));
  app.Command(102);
  Sleep(1500);
  EXPECT_EQ(nullptr, app.FindOwnWindow(TextSaveTitle()));

  // After the delete the next job's rows start at row 0 and the log holds only it.
  ASSERT_NO_FATAL_FAILURE(ScanProcessesNamed(app, hold, kHolderName));
  EXPECT_EQ(secondCount - firstCount, app.RowCount());
  const std::string onePath = FreshPath("after-delete.txt");
  SaveThroughDialog(app, onePath);
  const auto one = ParseLog(ReadWholeFile(onePath));
  ASSERT_EQ(1u, one.size());
  ExpectHeader(one[0], T("processes with name ", "Prozesse mit Prozessnamen ") + kHolderName);
  EndProcessesNamed("notepad.exe");

  app.Command(111);
  DWORD exitCode = 1;
  ASSERT_TRUE(app.WaitForExit(15000, &exitCode));
  EXPECT_EQ(0u, exitCode);
}

// Counts AMSI sessions open at once in the provider's call log.
int MostSessionsAtOnce(const std::vector<std::string>& log, int* initialisations) {
  int open = 0, most = 0;
  *initialisations = 0;
  for (const std::string& line : log) {
    if (StartsWith(line, "AmsiInitialize")) {
      ++open;
      ++*initialisations;
    } else if (StartsWith(line, "AmsiUninitialize")) {
      --open;
    }
    most = std::max(most, open);
  }
  return most;
}

TEST_F(AppGui, CancelThenScanAtOnceNeverOverlapsTheEndingJobNorFreezes) {
  const std::string amsiLog = FreshPath("cancel-amsi.log");
  ScopedEnvironment environment({{"TESTAMSI_LOG", amsiLog}});
  // The provider holds every scan until the test lets it go: the jobs
  // cannot end before the cancels come.
  tarvex_test::ProviderHold hold;
  ASSERT_TRUE(hold.Holding());
  AppProcess app;
  ASSERT_TRUE(app.Started());

  app.Command(103);
  // Running: the progress display shows the object being scanned.
  ASSERT_TRUE(
      WaitUntil([&] { return StartsWith(app.StatusText(), TextInProgress() + "   "); }, 60000))
      << app.StatusText();
  const std::string progress = app.StatusText();
  EXPECT_GT(progress.size(), (TextInProgress() + "   ").size());
  // Cancel, and the next scan right behind it, while the worker of the
  // cancelled job is held inside its scan. Both are sent, so each returns
  // only when handled: the scan is held back while the cancelled job ends,
  // and the window goes on answering meanwhile.
  ASSERT_TRUE(app.SendCommand(106, 60000));
  ASSERT_TRUE(app.SendCommand(103, 60000)) << "the window hangs in the new scan";
  EXPECT_TRUE(app.Answers(60000));
  EXPECT_FALSE(StartsWith(app.StatusText(), TextInProgress())) << app.StatusText();
  hold.Release();
  ASSERT_TRUE(app.WaitForStatus(TextCancelled(), 60000)) << app.StatusText();
  // The cancelled job has ended: the next scan starts, and is cancelled
  // while it is held as well.
  ASSERT_TRUE(hold.Hold());
  app.Command(103);
  ASSERT_TRUE(
      WaitUntil([&] { return StartsWith(app.StatusText(), TextInProgress() + "   "); }, 60000))
      << app.StatusText();
  ASSERT_TRUE(app.SendCommand(106, 60000));
  hold.Release();
  ASSERT_TRUE(app.WaitForStatus(TextCancelled(), 60000)) << app.StatusText();
  EXPECT_EQ(0, app.RowCount());
  for (int column = 0; column < 6; ++column) EXPECT_EQ("", app.ColumnTitle(column));

  // The log: two headers, each closed by the end rule alone. Saved under a
  // script extension it is written but not handed to the shell.
  const std::string path = FreshPath("cancelled.cmd");
  const auto before = ProcessIdsNamed("cmd.exe").size() + ProcessIdsNamed("notepad.exe").size();
  SaveThroughDialog(app, path);
  const auto blocks = ParseLog(ReadWholeFile(path));
  ASSERT_EQ(2u, blocks.size());
  for (const LogBlock& block : blocks) {
    ExpectHeader(block, T("memory of all processes", "Speicher aller Prozesse"));
    EXPECT_FALSE(block.finished);
  }
  Sleep(3000);
  EXPECT_EQ(before, ProcessIdsNamed("cmd.exe").size() + ProcessIdsNamed("notepad.exe").size());

  app.Command(111);
  DWORD exitCode = 1;
  ASSERT_TRUE(app.WaitForExit(20000, &exitCode));
  EXPECT_EQ(0u, exitCode);

  int initialisations = 0;
  const auto calls = SplitLines(ReadWholeFile(amsiLog));
  EXPECT_EQ(1, MostSessionsAtOnce(calls, &initialisations))
      << ReadWholeFile(amsiLog).substr(0, 4000);
  EXPECT_EQ(2, initialisations);
}

TEST_F(AppGui, ClosingDuringAScanLetsTheJobEndBeforeTheProcessEnds) {
  const std::string amsiLog = FreshPath("close-amsi.log");
  ScopedEnvironment environment({{"TESTAMSI_SCAN_DELAY_MS", "300"}, {"TESTAMSI_LOG", amsiLog}});
  AppProcess app;
  ASSERT_TRUE(app.Started());
  app.Command(103);
  ASSERT_TRUE(
      WaitUntil([&] { return StartsWith(app.StatusText(), TextInProgress() + "   "); }, 60000));
  app.Close();
  DWORD exitCode = 1;
  ASSERT_TRUE(app.WaitForExit(20000, &exitCode));
  EXPECT_EQ(0u, exitCode);
  // The worker closed its AMSI session and context before the process ended.
  const auto calls = SplitLines(ReadWholeFile(amsiLog));
  ASSERT_FALSE(calls.empty());
  EXPECT_TRUE(StartsWith(calls.back(), "AmsiUninitialize")) << calls.back();
  int initialisations = 0;
  EXPECT_EQ(1, MostSessionsAtOnce(calls, &initialisations));
  EXPECT_EQ(1, initialisations);
}

// The automatic mode: processes, then all streams, into one log; exits by itself.
void RunAutomaticMode(const char* logName, bool expectOpened) {
  const std::vector<std::string> titles = EngineTitles();
  ASSERT_EQ(6u, titles.size());
  const std::string path = FreshPath(logName);
  EndProcessesNamed("notepad.exe");
  AppProcess app("scan \"" + path + "\"");
  ASSERT_TRUE(app.Started());
  DWORD exitCode = 1;
  ASSERT_TRUE(app.WaitForExit(800000, &exitCode)) << "the automatic mode did not end";
  EXPECT_EQ(0u, exitCode);
  const auto blocks = ParseLog(ReadWholeFile(path));
  ASSERT_EQ(2u, blocks.size());
  ExpectHeader(blocks[0], T("memory of all processes", "Speicher aller Prozesse"));
  ExpectHeader(blocks[1], T("all alternate data streams", "Alle Alternate Data Streams"));
  ExpectFinishedWithReport(blocks[0], titles);
  ExpectFinishedWithReport(blocks[1], titles);
  if (!expectOpened) {
    Sleep(3000);
    EXPECT_TRUE(ProcessIdsNamed("notepad.exe").empty());
    EXPECT_TRUE(ProcessIdsNamed("cmd.exe").empty());
  }
}

TEST_F(AppGui, AutomaticModeWritesBothScansIntoATextLog) { RunAutomaticMode("auto.txt", true); }

TEST_F(AppGui, AutomaticModeDoesNotOpenABatchLog) { RunAutomaticMode("auto.bat", false); }

TEST_F(AppGui, FileCommandScansTheChosenFile) {
  const std::vector<std::string> titles = EngineTitles();
  ASSERT_EQ(6u, titles.size());
  const std::string target = FreshPath("target file.txt");
  ASSERT_TRUE(WriteWholeFile(target, "plain"));
  AppProcess app;
  ASSERT_TRUE(app.Started());
  const std::string title =
      T("Choose a file to scan the alternate data streams in it:",
        "Eine Datei w\xE4hlen, der nach Alternate Data Streams durchsucht werden soll:");
  // Cancelled: nothing starts.
  app.Command(108);
  HWND dialog = app.WaitForOwnWindow(title, 15000);
  ASSERT_NE(nullptr, dialog);
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return app.FindOwnWindow(title) == nullptr; }, 5000));
  Sleep(500);
  EXPECT_EQ(TextSelectScan(), app.StatusText());

  app.Command(108);
  FillFileDialog(app, title, target, "");
  ASSERT_TRUE(app.WaitForStatus(TextReady(), 120000)) << app.StatusText();
  EXPECT_EQ(titles[2], app.ColumnTitle(2));
  const std::string path = FreshPath("file-scan.txt");
  SaveThroughDialog(app, path);
  const auto blocks = ParseLog(ReadWholeFile(path));
  ASSERT_EQ(1u, blocks.size());
  ExpectHeader(
      blocks[0],
      T("all alternate data streams in file ", "Alle Alternate Data Streams in Datei ") + target);
  ExpectFinishedWithReport(blocks[0], titles);
  EXPECT_EQ(static_cast<size_t>(app.RowCount()), blocks[0].report.size() - 2);
  app.Command(111);
  EXPECT_TRUE(app.WaitForExit(15000, nullptr));
}

TEST_F(AppGui, OtherCommandLinesStartNormally) {
  for (const char* arguments : {"scan", "scan a.txt b.txt", "SCAN a.txt"}) {
    AppProcess app(arguments);
    ASSERT_TRUE(app.Started());
    Sleep(1500);
    EXPECT_EQ(TextSelectScan(), app.StatusText()) << arguments;
    app.Close();
    EXPECT_TRUE(app.WaitForExit(15000, nullptr));
  }
}

// Stage without the engine library.
TEST(AppWithoutEngine, AnEngineInTheCurrentFolderIsNotLoaded) {
  // A library of the engine's name planted in the folder the program starts
  // in (the stand-in engine, which would end every scan at once).
  const std::string planted = OutputDirectory() + "\\planted";
  CreateDirectoryA(planted.c_str(), nullptr);
  const std::string plantedEngine = planted + "\\" + TARVEX_ENGINE_FILE_NAME;
  ASSERT_TRUE(
      CopyFileA((ProgramDirectory() + "\\..\\fake-engine\\" + TARVEX_ENGINE_FILE_NAME).c_str(),
                plantedEngine.c_str(), FALSE));
  AppProcess app("", planted);
  ASSERT_TRUE(app.Started());
  // The engine is bound before the first command is handled.
  app.Command(103);
  ASSERT_TRUE(app.WaitForStatus(TextInProgress(), 15000)) << app.StatusText();
  EXPECT_FALSE(app.HasModule(TARVEX_ENGINE_FILE_NAME));
  app.Command(106);
  ASSERT_TRUE(app.WaitForStatus(TextCancelled(), 15000)) << app.StatusText();
  app.Command(111);
  DWORD exitCode = 1;
  ASSERT_TRUE(app.WaitForExit(15000, &exitCode));
  EXPECT_EQ(0u, exitCode);
  DeleteFileA(plantedEngine.c_str());
}

TEST(AppWithoutEngine, ScansNeverFinishAndCancelBringsTheIdleStateBack) {
  AppProcess app;
  ASSERT_TRUE(app.Started());
  app.Command(103);
  ASSERT_TRUE(app.WaitForStatus(TextInProgress(), 5000)) << app.StatusText();
  Sleep(2000);
  EXPECT_EQ(TextInProgress(), app.StatusText());
  EXPECT_EQ(0, app.RowCount());
  EXPECT_EQ("", app.ColumnTitle(0));
  app.Command(104);  // disabled while scanning
  app.Command(106);
  ASSERT_TRUE(app.WaitForStatus(TextCancelled(), 5000)) << app.StatusText();
  const std::string path = FreshPath("no-engine.txt");
  SaveThroughDialog(app, path);
  const auto blocks = ParseLog(ReadWholeFile(path));
  ASSERT_EQ(1u, blocks.size());
  ExpectHeader(blocks[0], T("memory of all processes", "Speicher aller Prozesse"));
  EXPECT_FALSE(blocks[0].finished);
  EndProcessesNamed("notepad.exe");
  app.Command(111);
  DWORD exitCode = 1;
  ASSERT_TRUE(app.WaitForExit(15000, &exitCode));
  EXPECT_EQ(0u, exitCode);
}

}  // namespace
