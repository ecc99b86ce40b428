// Standard handles and the --out file of the console program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "console_command_line.h"
#include "win32_handles.h"

namespace tarvex::console {

// System text of an error number on one line (no CR LF at the end).
std::string SystemErrorLine(DWORD errorNumber);

// True when the handle is a console (not a file or a pipe).
bool IsConsoleHandle(HANDLE handle);

// GetFileAttributesA: missing, file or folder.
PathKind ProbePath(const std::string& path);

// One line on standard error (ANSI text), with a line end.
void WriteErrorLine(const std::string& line);

// Where the results go: standard output or the --out file. The file is opened
// before the scan, so an unusable path stops the program before anything is
// scanned; a file that Open created is removed again by Discard.
class OutputSink {
 public:
  bool Open(const std::string& outPath, std::string* error);
  // Writes the text, given in the code page (CP_ACP or CP_UTF8); to a console
  // it is shown through UTF-16 so every name survives.
  bool Write(const std::string& text, UINT codePage, std::string* error);
  // Ends the file at what was written.
  bool Finish(std::string* error);
  void Discard();

 private:
  std::string path_;
  UniqueFileHandle file_;
  bool created_ = false;
};

// All of standard input, read as bytes until its end.
bool ReadStandardInput(std::vector<char>* data, std::string* error);

// The progress line on standard error, only when standard error is a console.
class ProgressDisplay {
 public:
  ProgressDisplay();
  bool Enabled() const { return enabled_; }
  void Show(const std::string& scanObject, intptr_t entryCount);
  void Clear();

 private:
  HANDLE console_ = nullptr;
  bool enabled_ = false;
  bool shown_ = false;
  size_t widthChars_ = 79;
};

}  // namespace tarvex::console
