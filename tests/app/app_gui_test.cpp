// The real Ostrelle program under Wine, driven from this process: the idle
// window, scans through the menu commands and dialogs, cancel, delete, save,
// closing during a scan, a missing engine, a large result transfer and the
// automatic mode. Texts are the program's own (code page 1252).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "app_driver.h"
#include "engine_api.h"
#include "test_content.h"

using namespace ostrelle_test;

namespace {

const char kHolderName[] = "ostrelle_holder.exe";

bool German() {
  char value[8] = {};
  return GetEnvironmentVariableA("OSTRELLE_EXPECT_GERMAN", value, sizeof value) > 0;
}

// Text table entries the tests look for, in the language of the run.
std::string T(const char* english, const char* german) { return German() ? german : english; }
std::string TextSelectScan() {
  return T("Please select a scan type rom the menubar!",
           "Bitte einen Scan aus dem Men\xFC ausw\xE4hlen!");
}
std::string TextInProgress() {
  return T("Scan is in progress....", "Scan wird durchgef\xFChrt...");
}
std::string TextReady() { return T("Ready!", "Fertig"); }
std::string TextCancelled() { return T("Scan was cancled!", "Scan wurde abgebrochen!"); }
std::string TextSaveTitle() {
  return T("Where should the logfile be saved?", "Wo soll die LOG-Datei gespeichert werden?");
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

// Under the prefix's own temporary folder: the staged program directory is
// reached through a link that the shell cannot resolve for its open verb.
std::string OutputDirectory() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string directory = std::string(temp) + "ostrelle-gui-out";
  CreateDirectoryA(directory.c_str(), nullptr);
  return directory;
}

std::string FreshPath(const char* name) {
  const std::string path = OutputDirectory() + "\\" + name;
  DeleteFileA(path.c_str());
  return path;
}

// Environment for the next program started from this process.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableA(name_, nullptr); }

 private:
  const char* name_;
};

// A process that holds the antivirus test string and the provider's marker in
// its memory, so a memory scan of it finds something.
class Holder {
 public:
  Holder() {
    const std::string program = ProgramDirectory() + "\\" + kHolderName;
    std::string commandLine = "\"" + program + "\" hold";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                   ProgramDirectory().c_str(), &startup, &info_);
    Sleep(1000);
  }
  ~Holder() {
    if (info_.hProcess == nullptr) return;
    TerminateProcess(info_.hProcess, 0);
    WaitForSingleObject(info_.hProcess, 5000);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  DWORD Id() const { return info_.dwProcessId; }

 private:
  PROCESS_INFORMATION info_{};
};

// The engine's column titles in the language of this run, from the title
// entry of a small buffer scan in this process.
std::vector<std::string> EngineTitles() {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  if (!api.Complete()) return {};
  const std::string content = "title probe";
  api.TarvexBuffer2("probe", content.data(), content.size(), 0, "", "");
  const auto entries = tarvex_test::ReadEntries();
  if (entries.empty()) return {};
  const auto& t = entries[0];
  return {t.processName, t.processId,      t.scantarget,
          t.isMalware,   t.scannermessage, t.scannerErrornumber};
}

// Fills the input dialog of the name command and presses OK.
void EnterProcessName(const AppProcess& app, const std::string& name) {
  HWND dialog = app.WaitForOwnWindow(T("Processname", "Prozessname"), 10000);
  ASSERT_NE(nullptr, dialog);
  char prompt[256] = {};
  GetDlgItemTextA(dialog, 201, prompt, sizeof prompt);
  EXPECT_EQ(T("Pleace but a processname into the box:", "Hier einen Prozessnamen eingeben:"),
            prompt);
  char initial[256] = {};
  GetDlgItemTextA(dialog, 202, initial, sizeof initial);
  EXPECT_STREQ("", initial);
  SendDlgItemMessageA(dialog, 202, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

struct ChildSearch {
  const char* className;
  HWND found;
};

BOOL CALLBACK FindChildByClass(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ChildSearch*>(parameter);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpiA(name, search->className) == 0 && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Types a path into the open or save dialog with this title and presses OK.
void FillFileDialog(const AppProcess& app, const std::string& title, const std::string& path,
                    const char* proposedName) {
  HWND dialog = app.WaitForOwnWindow(title, 15000);
  ASSERT_NE(nullptr, dialog) << "dialog did not appear: " << title;
  // The file name field: the combo box of the Explorer-style dialog, or its edit.
  HWND field = GetDlgItem(dialog, 0x47C);                   // cmb13
  if (field == nullptr) field = GetDlgItem(dialog, 0x480);  // edt1
  if (field == nullptr) {
    ChildSearch search{"Edit", nullptr};
    EnumChildWindows(dialog, FindChildByClass, reinterpret_cast<LPARAM>(&search));
    field = search.found;
  }
  ASSERT_NE(nullptr, field);
  char proposed[MAX_PATH] = {};
  SendMessageA(field, WM_GETTEXT, sizeof proposed, reinterpret_cast<LPARAM>(proposed));
  EXPECT_STREQ(proposedName, proposed);
  SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(WaitUntil([&] { return app.FindOwnWindow(title) == nullptr; }, 5000));
}

// Saves the log through the program's save dialog under the given path.
void SaveThroughDialog(const AppProcess& app, const std::string& path) {
  app.Command(102);
  FillFileDialog(app, TextSaveTitle(), path, "ASMI-Logfile.txt");
  EXPECT_TRUE(
      WaitUntil([&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000))
      << path;
}

// One block of the log: header lines, then the footer (or only the end rule).
struct LogBlock {
  std::vector<std::string> header;  // five lines
  bool finished = false;            // has a completion line and a report
  std::string finishedLine;
  std::vector<std::string> report;  // report lines (without the CR LF after it)
};

const std::string kRule48(48, '_');
const std::string kRule49(49, '#');

// Splits a log into its blocks and checks the fixed lines on the way.
std::vector<LogBlock> ParseLog(const std::string& log) {
  std::vector<LogBlock> blocks;
  EXPECT_TRUE(EndsWith(log, kRule49 + "\r\n\r\n")) << "log does not end with the end rule";
  const std::vector<std::string> lines = SplitLines(log);
  size_t i = 0;
  while (i < lines.size()) {
    LogBlock block;
    if (i + 5 > lines.size()) {
      ADD_FAILURE() << "short block at line " << i;
      break;
    }
    block.header.assign(lines.begin() + static_cast<long>(i),
                        lines.begin() + static_cast<long>(i) + 5);
    i += 5;
    if (i < lines.size() && lines[i] != kRule49) {
      block.finished = true;
      block.finishedLine = lines[i++];
      EXPECT_EQ(kRule48, i < lines.size() ? lines[i] : "") << "rule after the completion line";
      ++i;
      while (i < lines.size() && lines[i] != kRule49) block.report.push_back(lines[i++]);
      // The report ends with CR LF and the footer adds one more: an empty line.
      EXPECT_FALSE(block.report.empty());
      if (!block.report.empty()) {
        EXPECT_EQ("", block.report.back());
        block.report.pop_back();
      }
    }
    EXPECT_EQ(kRule49, i < lines.size() ? lines[i] : "");
    ++i;
    EXPECT_EQ("", i < lines.size() ? lines[i] : "x") << "empty line after the end rule";
    ++i;
    blocks.push_back(block);
  }
  return blocks;
}

bool IsDate(const std::string& text) {
  // dd.mm.yyyy
  return text.size() == 10 && std::isdigit(static_cast<unsigned char>(text[0])) && text[2] == '.' &&
         text[5] == '.' && std::isdigit(static_cast<unsigned char>(text[9]));
}

void ExpectHeader(const LogBlock& block, const std::string& typeText) {
  ASSERT_EQ(5u, block.header.size());
  const std::string& start = block.header[0];
  ASSERT_TRUE(StartsWith(start, "Scanstart: ")) << start;
  EXPECT_TRUE(IsDate(start.substr(11, 10))) << start;
  EXPECT_EQ("   ", start.substr(21, 3)) << start;
  EXPECT_EQ(29u, start.size()) << start;  // hh:mm
  EXPECT_TRUE(StartsWith(block.header[1], T("OS-Versionnumber: ", "OS-Versionsnummer: ")));
  EXPECT_NE(std::string::npos, block.header[1].find('.'));
  EXPECT_TRUE(StartsWith(block.header[2], T("OS-Productname: ", "OS-Produktname: ")));
  EXPECT_TRUE(EndsWith(block.header[2], T(" (64bit)", " (64Bit)"))) << block.header[2];
  EXPECT_EQ(T("Type of scan: ", "Scanart: ") + typeText, block.header[3]);
  EXPECT_EQ(T("Version of scanner: 64bit", "Version des Scanners: 64Bit"), block.header[4]);
}

void ExpectFinishedWithReport(const LogBlock& block, const std::vector<std::string>& titles) {
  ASSERT_TRUE(block.finished);
  const std::string label = T("Scan has been finished at: ", "Scanende: ");
  ASSERT_TRUE(StartsWith(block.finishedLine, label)) << block.finishedLine;
  EXPECT_TRUE(IsDate(block.finishedLine.substr(label.size(), 10))) << block.finishedLine;
  // The engine's report: its title line (the column titles in order), its
  // rule, then one line per entry.
  ASSERT_GE(block.report.size(), 2u);
  size_t position = 0;
  for (const std::string& title : titles) {
    const size_t found = block.report[0].find(title, position);
    EXPECT_NE(std::string::npos, found) << "title " << title << " in " << block.report[0];
    if (found != std::string::npos) position = found + title.size();
  }
}

// The shell opens .txt files with notepad, so that a log that is handed to
// the shell shows up as a process. A fresh prefix may lack the association;
// it is added for the current user for the time of a test.
class TextAssociation {
 public:
  TextAssociation() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".txt", 0, KEY_READ, &key) == ERROR_SUCCESS) {
      RegCloseKey(key);
      return;
    }
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes\\.txt", 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("txtfile"), 8);
      RegCloseKey(key);
      added_ = true;
    }
  }
  ~TextAssociation() {
    if (added_) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\.txt");
  }

 private:
  bool added_ = false;
};

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

TEST_F(AppGui, ScanByNameThroughTheInputDialogThenDeleteAndSave) {
  Holder holder;
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
  app.Command(109);
  EnterProcessName(app, "OSTRELLE_holder.exe");
  ASSERT_TRUE(WaitUntil([&] { return StartsWith(app.StatusText(), TextInProgress()); }, 10000))
      << app.StatusText();
  ASSERT_TRUE(app.WaitForStatus(TextReady(), 300000)) << app.StatusText();
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
  app.Command(109);
  EnterProcessName(app, kHolderName);
  ASSERT_TRUE(WaitUntil([&] { return app.StatusText() != TextReady(); }, 10000));
  ASSERT_TRUE(app.WaitForStatus(TextReady(), 300000));
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
  app.Command(109);
  EnterProcessName(app, kHolderName);
  ASSERT_TRUE(WaitUntil([&] { return app.StatusText() != TextReady(); }, 10000));
  ASSERT_TRUE(app.WaitForStatus(TextReady(), 300000));
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

TEST_F(AppGui, CancelThenScanAtOnceNeverOverlapsTheEndingJob) {
  const std::string amsiLog = FreshPath("cancel-amsi.log");
  ScopedEnvironment delay("TESTAMSI_SCAN_DELAY_MS", "150");
  ScopedEnvironment log("TESTAMSI_LOG", amsiLog);
  AppProcess app;
  ASSERT_TRUE(app.Started());

  app.Command(103);
  // Running: the progress display shows the object being scanned.
  ASSERT_TRUE(
      WaitUntil([&] { return StartsWith(app.StatusText(), TextInProgress() + "   "); }, 60000))
      << app.StatusText();
  const std::string progress = app.StatusText();
  EXPECT_GT(progress.size(), (TextInProgress() + "   ").size());
  // Cancel, and start the next scan right behind it, before the worker of
  // the cancelled job has reached its next checkpoint.
  app.Command(106);
  app.Command(103);
  ASSERT_TRUE(
      WaitUntil([&] { return StartsWith(app.StatusText(), TextInProgress() + "   "); }, 60000))
      << app.StatusText();
  app.Command(106);
  ASSERT_TRUE(app.WaitForStatus(TextCancelled(), 10000)) << app.StatusText();
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
  ScopedEnvironment delay("TESTAMSI_SCAN_DELAY_MS", "300");
  ScopedEnvironment log("TESTAMSI_LOG", amsiLog);
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
  {
    HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "plain", 5, &written, nullptr);
    CloseHandle(file);
  }
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

// Stage with the stand-in engine that hands over many entries at once.
TEST(AppLargeTransfer, KeepsPaintingAndStartsNoSecondCommand) {
  const int kEntries = 50000;
  const std::string callLog = FreshPath("fake-engine.log");
  ScopedEnvironment log("FAKE_ENGINE_LOG", callLog);
  ScopedEnvironment entries("FAKE_ENGINE_ENTRIES", std::to_string(kEntries));
  AppProcess app;
  ASSERT_TRUE(app.Started());
  app.Command(103);
  ASSERT_TRUE(WaitUntil([&] { return app.RowCount() > 0; }, 30000));
  // Chosen during the transfer: all dropped.
  app.Command(104);
  app.Command(106);
  app.Command(105);
  app.Close();
  // During the transfer the window paints what is invalidated (the status
  // bar here) and answers sent messages.
  int paintedDuringTransfer = 0;
  for (int round = 0; round < 20; ++round) {
    const int rowsBefore = app.RowCount();
    if (rowsBefore >= kEntries) break;
    InvalidateRect(app.StatusBar(), nullptr, TRUE);
    const bool painted = WaitUntil(
        [&] {
          RECT update{};
          return !GetUpdateRect(app.StatusBar(), &update, FALSE);
        },
        5000, 5);
    const int rowsAfter = app.RowCount();
    if (painted && rowsAfter < kEntries && app.StatusText() == TextInProgress())
      ++paintedDuringTransfer;
  }
  ASSERT_TRUE(app.WaitForStatus(TextReady(), 300000)) << app.StatusText();
  EXPECT_GT(paintedDuringTransfer, 0);
  EXPECT_EQ(kEntries, app.RowCount());
  EXPECT_EQ("C:\\Windows\\System32\\process" + std::to_string(kEntries - 1) + ".exe",
            app.Cell(kEntries - 1, 0));
  EXPECT_EQ("0", app.Cell(kEntries - 1, 5));
  EXPECT_EQ("Processname", app.ColumnTitle(0));
  Sleep(1500);
  EXPECT_EQ(TextReady(), app.StatusText());
  EXPECT_EQ(kEntries, app.RowCount());
  EXPECT_EQ("TarvexAllProcesses\n", ReadWholeFile(callLog));
  DWORD exitCode = 1;
  EXPECT_FALSE(app.WaitForExit(0, &exitCode))
      << "the close request during the transfer ended the program";
  app.Close();
  ASSERT_TRUE(app.WaitForExit(30000, &exitCode));
  EXPECT_EQ(0u, exitCode);
}

}  // namespace
