// AppProcess and the helpers of the application's GUI tests.
#include "app_driver.h"

#include <cstddef>
#include <fstream>
#include <sstream>

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

}  // namespace

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory = path;
  return directory.substr(0, directory.find_last_of('\\'));
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

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

std::vector<DWORD> ProcessIdsNamed(const char* exeName) {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, exeName) == 0) ids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return ids;
}

void EndProcessesNamed(const char* exeName) {
  for (DWORD id : ProcessIdsNamed(exeName)) {
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
      TerminateProcess(process, 0);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }
}

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
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory, &startup, &processInfo_)) {
    processInfo_ = PROCESS_INFORMATION{};
    return;
  }
  WaitUntil(
      [this] {
        FindContext context{processInfo_.dwProcessId, Title(), nullptr};
        EnumWindows(FindByProcessAndTitle, reinterpret_cast<LPARAM>(&context));
        window_ = context.found;
        return window_ != nullptr && StatusBar() != nullptr && ListView() != nullptr;
      },
      30000);
  remote_ = VirtualAllocEx(processInfo_.hProcess, nullptr, sizeof(RemoteBlock),
                           MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

AppProcess::~AppProcess() {
  if (processInfo_.hProcess == nullptr) return;
  if (WaitForSingleObject(processInfo_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(processInfo_.hProcess, 1);
    WaitForSingleObject(processInfo_.hProcess, 5000);
  }
  CloseHandle(processInfo_.hThread);
  CloseHandle(processInfo_.hProcess);
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
  WriteProcessMemory(processInfo_.hProcess, remote_, &local, sizeof local, nullptr);
  DWORD_PTR result = 0;
  SendMessageTimeoutA(ListView(), message, wParam, reinterpret_cast<LPARAM>(remote_), SMTO_NORMAL,
                      10000, &result);
  ReadProcessMemory(processInfo_.hProcess, remoteText, local.text, sizeof local.text, nullptr);
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
  FindContext context{processInfo_.dwProcessId, title, nullptr};
  EnumWindows(FindByProcessAndTitle, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

HWND AppProcess::WaitForOwnWindow(const std::string& title, DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindOwnWindow(title)) != nullptr; }, timeoutMs);
  return found;
}

bool AppProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
  if (processInfo_.hProcess == nullptr) return false;
  if (WaitForSingleObject(processInfo_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(processInfo_.hProcess, &code);
  if (exitCode != nullptr) *exitCode = code;
  return true;
}

bool AppProcess::WaitForStatus(const std::string& text, DWORD timeoutMs) const {
  return WaitUntil([&] { return StatusText() == text; }, timeoutMs, 100);
}

}  // namespace ostrelle_test
