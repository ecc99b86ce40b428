// Driving the real Ostrelle program from another process, as a user would:
// starting it, finding its window, posting menu commands, filling dialogs,
// and reading the status bar and the list view (through memory in the
// program's process, since list view messages carry pointers).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "file_text.h"
#include "process_snapshot.h"
#include "program_folder.h"
#include "scoped_environment.h"
#include "win32_handles.h"

namespace ostrelle_test {

using tarvex_test::EndProcessesNamed;
using tarvex_test::ProcessIdsNamed;
using tarvex_test::ProgramDirectory;
using tarvex_test::ReadWholeFile;
using tarvex_test::ScopedEnvironment;
using tarvex_test::WriteWholeFile;

std::vector<std::string> SplitLines(const std::string& text);  // at CR LF or LF
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 50);

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
  // waits for its main window. The working directory is the temporary folder
  // unless one is given.
  explicit AppProcess(const std::string& arguments = "", const std::string& workingDirectory = "");
  ~AppProcess();
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  bool Started() const { return window_ != nullptr; }
  HWND Window() const { return window_; }
  HWND StatusBar() const;
  HWND ListView() const;
  DWORD ProcessId() const { return process_.processId; }

  void Command(int commandId) const;
  // The command sent rather than posted: true when the window has handled it
  // within the timeout (a window that hangs in the command gives false).
  bool SendCommand(int commandId, DWORD timeoutMs) const;
  // True when the window answers a sent message within the timeout.
  bool Answers(DWORD timeoutMs) const;
  void Close() const;

  // Copies bytes into the program's memory and gives their address there (for
  // messages that carry pointers); at most 4096 bytes, valid until the next
  // call of this or of the readers below.
  void* CopyToProgram(const void* data, size_t length) const;
  // True when a module with this file name is loaded in the program.
  bool HasModule(const char* fileName) const;

  std::string StatusText() const;
  int RowCount() const;
  std::string Cell(int row, int column) const;
  std::vector<std::vector<std::string>> Rows() const;
  std::string ColumnTitle(int column) const;

  // A top-level window of the program with this title (a dialog), or null.
  HWND FindOwnWindow(const std::string& title) const;
  HWND WaitForOwnWindow(const std::string& title, DWORD timeoutMs) const;
  // A visible dialog (class #32770) of the program, whatever its title.
  HWND FindOwnDialog() const;
  HWND WaitForOwnDialog(DWORD timeoutMs) const;

  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
  bool WaitForStatus(const std::string& text, DWORD timeoutMs) const;

 private:
  std::string RemoteText(UINT message, WPARAM wParam, bool column) const;

  tarvex::UniqueProcessInformation process_;
  HWND window_ = nullptr;
  void* remote_ = nullptr;
};

// ---- texts, files and the log of the tests

// Copies of this test program run as the holder process of memory scans.
constexpr char kHolderName[] = "ostrelle_holder.exe";

// True for the German run (OSTRELLE_EXPECT_GERMAN set).
bool German();
// Text table entries the tests look for, in the language of the run.
std::string T(const char* english, const char* german);
std::string TextSelectScan();
std::string TextInProgress();
std::string TextReady();
std::string TextCancelled();
std::string TextCancelling();
std::string TextSaveTitle();
// Status texts after a save, the path appended.
std::string TextLogNotSaved(const std::string& path);
std::string TextLogSavedNotOpened(const std::string& path);
std::string TextFolderNotScannable();

std::string Lower(std::string text);
bool EndsWith(const std::string& text, const std::string& tail);
bool StartsWith(const std::string& text, const std::string& head);

// Under the prefix's own temporary folder: the staged program directory is
// reached through a link that the shell cannot resolve for its open verb.
std::string OutputDirectory();
// A path in OutputDirectory() whose file was just deleted.
std::string FreshPath(const char* name);

// A process that holds the antivirus test string and the provider's marker in
// its memory, so a memory scan of it finds something.
class Holder {
 public:
  Holder();
  ~Holder();
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  DWORD Id() const { return child_.processId; }

 private:
  tarvex::UniqueProcessInformation child_;
};

// The engine's column titles in the language of this run, from the title
// entry of a small buffer scan in this process.
std::vector<std::string> EngineTitles();

// Fills the input dialog of the name command and presses OK.
void EnterProcessName(const AppProcess& app, const std::string& name);
// Types a path into the open or save dialog with this title and presses OK.
void FillFileDialog(const AppProcess& app, const std::string& title, const std::string& path,
                    const char* proposedName);
// Saves the log through the program's save dialog under the given path.
void SaveThroughDialog(const AppProcess& app, const std::string& path);

// One block of the log: header lines, then the footer (or only the end rule).
struct LogBlock {
  std::vector<std::string> header;  // five lines
  bool finished = false;            // has a completion line and a report
  std::string finishedLine;
  std::vector<std::string> report;  // report lines (without the CR LF after it)
};

// Splits a log into its blocks and checks the fixed lines on the way.
std::vector<LogBlock> ParseLog(const std::string& log);
// dd.mm.yyyy
bool IsDate(const std::string& text);
void ExpectHeader(const LogBlock& block, const std::string& typeText);
void ExpectFinishedWithReport(const LogBlock& block, const std::vector<std::string>& titles);

// The shell opens .txt files with notepad, so that a log that is handed to
// the shell shows up as a process. A fresh prefix may lack the association;
// it is added for the current user for the time of the object.
class TextAssociation {
 public:
  TextAssociation();
  ~TextAssociation();
  TextAssociation(const TextAssociation&) = delete;
  TextAssociation& operator=(const TextAssociation&) = delete;

 private:
  bool added_ = false;
};

}  // namespace ostrelle_test
