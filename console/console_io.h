// Standard handles, the --out file and the target checks of the console program.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "console_command_line.h"
#include "console_run_output.h"
#include "win32_handles.h"

namespace tarvex::console {

// System text of an error number on one line (no CR LF at the end).
std::string SystemErrorLine(DWORD errorNumber);

// True when the handle is a console (not a file or a pipe).
bool IsConsoleHandle(HANDLE handle);

// The probes of CheckTargets: paths in their extended-length form (long
// paths and "\\?\" paths work), processes from a Toolhelp snapshot.
TargetProbes SystemTargetProbes();

// The extended-length UTF-16 form of an ANSI path, made absolute.
std::wstring ExtendedPathFromAnsi(const std::string& path);

// One line on standard error (ANSI text), with a line end.
void WriteErrorLine(const std::string& line);

// Where the results go: standard output or the --out file, UTF-8 text
// written through a fixed buffer. To a console the text is shown through
// UTF-16, so every name survives. After the first failure nothing more is
// written.
class OutputSink : public TextSink {
 public:
  // Opens (creates or empties) the --out file; an empty path is standard
  // output. The file is emptied at once, so an older, longer file keeps no tail.
  bool Open(const std::string& outPath, std::string* error);
  bool Write(std::string_view utf8Text) override;
  bool Flush() override;
  // Closes the file and removes it when Open created it.
  void Discard();
  // The line for standard error after a failure.
  std::string ErrorLine() const;

 private:
  bool WriteOut(std::string_view bytes);

  std::string path_;
  std::wstring extendedPath_;
  UniqueFileHandle file_;
  HANDLE target_ = nullptr;
  bool console_ = false;
  bool created_ = false;
  bool failed_ = false;
  DWORD errorNumber_ = 0;
  std::string buffer_;
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
