// Runs the console scanner as a script would: a child process with its
// standard handles redirected to pipes, its output collected and its exit
// code read. Arguments are UTF-8 and reach the child as UTF-16
// (CreateProcessW), so names outside this test's ANSI code page arrive whole.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_pipe.h"
#include "program_folder.h"
#include "win32_handles.h"

namespace tarvex_test {

#ifdef _WIN64
inline const char* ConsoleProgramName() { return "OstrelleCmd64.exe"; }
#else
inline const char* ConsoleProgramName() { return "OstrelleCmd.exe"; }
#endif

inline std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int count =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], count);
  return wide;
}

// One argument as the C runtime splits the command line again: quoted when it
// holds blanks or quotes (or is empty), backslashes doubled before a quote
// and at the end of a quoted argument.
inline std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// A started child; Finish() closes its input, waits and collects its output.
class ConsoleChild {
 public:
  // errorTarget / outputTarget: inheritable handles for the child's standard
  // error or output (a console, a closed pipe, a file) instead of pipes read
  // by the test.
  ConsoleChild(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& input, DWORD creationFlags = 0, HANDLE errorTarget = nullptr,
               bool keepInputOpen = false, HANDLE outputTarget = nullptr) {
    ChildPipe inputPipe, outputPipe, errorPipe;
    MakeChildPipe(false, &inputPipe);
    MakeChildPipe(true, &outputPipe);
    MakeChildPipe(true, &errorPipe);
    input_ = std::move(inputPipe.ours);
    output_ = std::move(outputPipe.ours);
    error_ = std::move(errorPipe.ours);

    STARTUPINFOW startup = StartupWithHandles<STARTUPINFOW>(
        inputPipe.childs.Get(), outputTarget != nullptr ? outputTarget : outputPipe.childs.Get(),
        errorTarget != nullptr ? errorTarget : errorPipe.childs.Get());
    std::string commandLine = QuoteArgument(program);
    for (const std::string& argument : arguments) commandLine += " " + QuoteArgument(argument);
    std::wstring wideCommandLine = WideFromUtf8(commandLine);
    PROCESS_INFORMATION info{};
    started_ = CreateProcessW(WideFromUtf8(program).c_str(), &wideCommandLine[0], nullptr, nullptr,
                              TRUE, creationFlags, nullptr, nullptr, &startup, &info) != FALSE;
    if (!started_) startError_ = GetLastError();
    // The child holds its own ends now; this process keeps only the other ends.
    inputPipe.childs.Reset();
    outputPipe.childs.Reset();
    errorPipe.childs.Reset();
    if (started_) child_ = tarvex::UniqueProcessInformation(info);
    outputReader_ = std::thread([this] { ReadInto(output_.Get(), &out_); });
    errorReader_ = std::thread([this] { ReadInto(error_.Get(), &err_); });
    inputWriter_ = std::thread([this, input, keepInputOpen] {
      DWORD written = 0;
      size_t offset = 0;
      while (offset < input.size() &&
             WriteFile(input_.Get(), input.data() + offset,
                       static_cast<DWORD>(input.size() - offset), &written, nullptr) &&
             written > 0) {
        offset += written;
      }
      if (keepInputOpen) return;  // the child's read stays blocked until Finish
      input_.Reset();
    });
  }

  ~ConsoleChild() { Finish(1000); }
  ConsoleChild(const ConsoleChild&) = delete;
  ConsoleChild& operator=(const ConsoleChild&) = delete;

  bool Started() const { return started_; }
  DWORD StartError() const { return startError_; }  // CreateProcessW's error when not started
  DWORD ProcessId() const { return child_.processId; }
  bool Running() const {
    return child_.process && WaitForSingleObject(child_.process.Get(), 0) == WAIT_TIMEOUT;
  }

  // Waits until the child's standard output holds the text (true), or until
  // it has closed its output or timeoutMs passed (false).
  bool WaitForOutput(const std::string& text, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return out_.find(text) != std::string::npos || outputClosed_;
    }) && out_.find(text) != std::string::npos;
  }

  // Waits up to timeoutMs; a child still running then is terminated and
  // reported as not finished.
  bool Finish(DWORD timeoutMs) {
    if (done_) return finished_;
    done_ = true;
    if (child_.process) {
      const HANDLE process = child_.process.Get();
      finished_ = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
      if (!finished_) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 10000);
      }
      GetExitCodeProcess(process, &exitCode_);
      child_ = tarvex::UniqueProcessInformation();
    }
    inputWriter_.join();
    input_.Reset();
    outputReader_.join();
    errorReader_.join();
    output_.Reset();
    error_.Reset();
    return finished_;
  }

  DWORD ExitCode() const { return exitCode_; }
  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  void ReadInto(HANDLE handle, std::string* text) {
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &read, nullptr) && read > 0) {
      const std::lock_guard<std::mutex> hold(lock_);
      text->append(buffer, read);
      changed_.notify_all();
    }
    const std::lock_guard<std::mutex> hold(lock_);
    if (text == &out_) outputClosed_ = true;
    changed_.notify_all();
  }

  tarvex::UniqueHandle input_, output_, error_;
  tarvex::UniqueProcessInformation child_;
  DWORD exitCode_ = 0xFFFFFFFF;
  DWORD startError_ = 0;
  bool started_ = false, done_ = false, finished_ = false;
  std::mutex lock_;
  std::condition_variable changed_;
  bool outputClosed_ = false;
  std::string out_, err_;
  std::thread outputReader_, errorReader_, inputWriter_;
};

struct ConsoleRun {
  bool finished = false;
  DWORD exitCode = 0xFFFFFFFF;
  DWORD startError = 0;  // CreateProcessW's error when the program did not start
  std::string out, err;
};

// Runs the console program of the test's directory (or another one) to its end.
inline ConsoleRun RunConsole(const std::vector<std::string>& arguments,
                             const std::string& input = std::string(),
                             const std::string& program = ProgramDirectory() + "\\" +
                                                          ConsoleProgramName()) {
  ConsoleChild child(program, arguments, input);
  ConsoleRun run;
  run.finished = child.Started() && child.Finish(120000);
  run.exitCode = child.ExitCode();
  run.startError = child.StartError();
  run.out = child.Out();
  run.err = child.Err();
  return run;
}

}  // namespace tarvex_test
