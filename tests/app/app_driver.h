// Driving the real Ostrelle program from another process, as a user would:
// starting it, finding its window, posting menu commands, filling dialogs,
// and reading the status bar and the list view (through memory in the
// program's process, since list view messages carry pointers).
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ostrelle_test {

std::string ProgramDirectory();
std::string ReadWholeFile(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);  // at CR LF or LF
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 50);
std::vector<DWORD> ProcessIdsNamed(const char* exeName);
void EndProcessesNamed(const char* exeName);

#ifdef _WIN64
inline const char* ProgramName() { return "Ostrelle64.exe"; }
inline const char* Title() { return "Ostrelle (64 Bit)"; }
#else
inline const char* ProgramName() { return "Ostrelle.exe"; }
inline const char* Title() { return "Ostrelle (32 Bit)"; }
#endif

class AppProcess {
 public:
  // Starts the program beside this test program with the given arguments and
  // waits for its main window.
  explicit AppProcess(const std::string& arguments = "");
  ~AppProcess();
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  bool Started() const { return window_ != nullptr; }
  HWND Window() const { return window_; }
  HWND StatusBar() const;
  HWND ListView() const;
  DWORD ProcessId() const { return processInfo_.dwProcessId; }

  void Command(int commandId) const;
  void Close() const;

  std::string StatusText() const;
  int RowCount() const;
  std::string Cell(int row, int column) const;
  std::vector<std::vector<std::string>> Rows() const;
  std::string ColumnTitle(int column) const;

  // A top-level window of the program with this title (a dialog), or null.
  HWND FindOwnWindow(const std::string& title) const;
  HWND WaitForOwnWindow(const std::string& title, DWORD timeoutMs) const;

  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
  bool WaitForStatus(const std::string& text, DWORD timeoutMs) const;

 private:
  std::string RemoteText(UINT message, WPARAM wParam, bool column) const;

  PROCESS_INFORMATION processInfo_{};
  HWND window_ = nullptr;
  void* remote_ = nullptr;
};

}  // namespace ostrelle_test
