// AppProcess and the helpers of the application's GUI tests.
#include "app_driver.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>

#include "engine_api.h"

namespace ostrelle_test {
namespace {

struct RemoteBlock {
  union {
    LVITEMA item;
    LVCOLUMNA column;
  } request;
  char text[4096];
};

struct FindContext {
  DWORD processId;
  std::string title;
  HWND found;
};

BOOL CALLBACK FindByProcessAndTitle(HWND window, LPARAM parameter) {
  auto* context = reinterpret_cast<FindContext*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != context->processId || !IsWindowVisible(window)) return TRUE;
  char title[512] = {};
  GetWindowTextA(window, title, sizeof title);
  if (context->title == title) {
    context->found = window;
    return FALSE;
  }
  return TRUE;
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

const std::string kRule48(48, '_');
const std::string kRule49(49, '#');

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(stepMs);
  }
}

// ---- the program as a user sees it

AppProcess::AppProcess(const std::string& arguments) {
  const std::string directory = ProgramDirectory();
  const std::string program = directory + "\\" + ProgramName();
  std::string commandLine = "\"" + program + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  // Started in the temporary folder: under Wine the staged directory is a
  // link that the shell cannot resolve as a working directory.
  char workingDirectory[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, workingDirectory);
  PROCESS_INFORMATION information{};
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory, &startup, &information)) {
    return;
  }
  process_ = tarvex::UniqueProcessInformation(information);
  WaitUntil(
      [this] {
        FindContext context{process_.processId, Title(), nullptr};
        EnumWindows(FindByProcessAndTitle, reinterpret_cast<LPARAM>(&context));
        window_ = context.found;
        return window_ != nullptr && StatusBar() != nullptr && ListView() != nullptr;
      },
      30000);
  remote_ = VirtualAllocEx(process_.process.Get(), nullptr, sizeof(RemoteBlock),
                           MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

AppProcess::~AppProcess() {
  const HANDLE process = process_.process.Get();
  if (process == nullptr) return;
  if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
}

HWND AppProcess::StatusBar() const { return GetDlgItem(window_, 2701); }
HWND AppProcess::ListView() const { return GetDlgItem(window_, 2698); }

void AppProcess::Command(int commandId) const {
  PostMessageA(window_, WM_COMMAND, static_cast<WPARAM>(commandId), 0);
}

void AppProcess::Close() const { PostMessageA(window_, WM_CLOSE, 0, 0); }

std::string AppProcess::StatusText() const {
  char text[4096] = {};
  DWORD_PTR result = 0;
  SendMessageTimeoutA(StatusBar(), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_NORMAL, 10000, &result);
  return text;
}

int AppProcess::RowCount() const {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(ListView(), LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 10000, &result);
  return static_cast<int>(result);
}

std::string AppProcess::RemoteText(UINT message, WPARAM wParam, bool column) const {
  if (remote_ == nullptr) return std::string();
  RemoteBlock local{};
  char* remoteText = static_cast<char*>(remote_) + offsetof(RemoteBlock, text);
  if (column) {
    local.request.column.mask = LVCF_TEXT;
    local.request.column.pszText = remoteText;
    local.request.column.cchTextMax = sizeof local.text;
  } else {
    local.request.item.iSubItem = static_cast<int>(wParam >> 16);
    local.request.item.pszText = remoteText;
    local.request.item.cchTextMax = sizeof local.text;
    wParam &= 0xFFFF;
  }
  WriteProcessMemory(process_.process.Get(), remote_, &local, sizeof local, nullptr);
  DWORD_PTR result = 0;
  SendMessageTimeoutA(ListView(), message, wParam, reinterpret_cast<LPARAM>(remote_), SMTO_NORMAL,
                      10000, &result);
  ReadProcessMemory(process_.process.Get(), remoteText, local.text, sizeof local.text, nullptr);
  local.text[sizeof local.text - 1] = '\0';
  return local.text;
}

std::string AppProcess::Cell(int row, int column) const {
  return RemoteText(LVM_GETITEMTEXTA,
                    (static_cast<WPARAM>(column) << 16) | static_cast<WPARAM>(row), false);
}

std::vector<std::vector<std::string>> AppProcess::Rows() const {
  std::vector<std::vector<std::string>> rows;
  const int count = RowCount();
  for (int row = 0; row < count; ++row) {
    std::vector<std::string> cells;
    for (int column = 0; column < 6; ++column) cells.push_back(Cell(row, column));
    rows.push_back(cells);
  }
  return rows;
}

std::string AppProcess::ColumnTitle(int column) const {
  return RemoteText(LVM_GETCOLUMNA, static_cast<WPARAM>(column), true);
}

HWND AppProcess::FindOwnWindow(const std::string& title) const {
  FindContext context{process_.processId, title, nullptr};
  EnumWindows(FindByProcessAndTitle, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

HWND AppProcess::WaitForOwnWindow(const std::string& title, DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindOwnWindow(title)) != nullptr; }, timeoutMs);
  return found;
}

bool AppProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
  if (process_.process.Get() == nullptr) return false;
  if (WaitForSingleObject(process_.process.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_.process.Get(), &code);
  if (exitCode != nullptr) *exitCode = code;
  return true;
}

bool AppProcess::WaitForStatus(const std::string& text, DWORD timeoutMs) const {
  return WaitUntil([&] { return StatusText() == text; }, timeoutMs, 100);
}

// ---- texts, files and the log of the tests

bool German() {
  char value[8] = {};
  return GetEnvironmentVariableA("OSTRELLE_EXPECT_GERMAN", value, sizeof value) > 0;
}

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

Holder::Holder() {
  const std::string program = ProgramDirectory() + "\\" + kHolderName;
  std::string commandLine = "\"" + program + "\" hold";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                     ProgramDirectory().c_str(), &startup, &info)) {
    child_ = tarvex::UniqueProcessInformation(info);
  }
  Sleep(1000);
}

Holder::~Holder() {
  if (!child_.process) return;
  TerminateProcess(child_.process.Get(), 0);
  WaitForSingleObject(child_.process.Get(), 5000);
}

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

void SaveThroughDialog(const AppProcess& app, const std::string& path) {
  app.Command(102);
  FillFileDialog(app, TextSaveTitle(), path, "ASMI-Logfile.txt");
  EXPECT_TRUE(
      WaitUntil([&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000))
      << path;
}

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
  // The tests run on 64-bit Windows (the x86 build under WOW64): the system
  // is 64-bit, the scanner as wide as this build.
  EXPECT_TRUE(EndsWith(block.header[2], T(" (64bit)", " (64Bit)"))) << block.header[2];
  EXPECT_EQ(T("Type of scan: ", "Scanart: ") + typeText, block.header[3]);
#ifdef _WIN64
  EXPECT_EQ(T("Version of scanner: 64bit", "Version des Scanners: 64Bit"), block.header[4]);
#else
  EXPECT_EQ(T("Version of scanner: 32bit", "Version des Scanners: 32Bit"), block.header[4]);
#endif
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

TextAssociation::TextAssociation() {
  tarvex::UniqueRegistryKey key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".txt", 0, KEY_READ, key.Put()) == ERROR_SUCCESS) return;
  key.Release();
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes\\.txt", 0, nullptr, 0, KEY_WRITE,
                      nullptr, key.Put(), nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("txtfile"), 8);
    added_ = true;
  } else {
    key.Release();
  }
}

TextAssociation::~TextAssociation() {
  if (added_) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\.txt");
}

}  // namespace ostrelle_test
