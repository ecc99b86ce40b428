// Runs the console scanner as a script would: a child process with its
// standard handles redirected to pipes, its output collected and its exit
// code read.
#pragma once

#include <windows.h>

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

inline std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

inline std::string ReadAll(HANDLE handle) {
  std::string text;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &read, nullptr) && read > 0)
    text.append(buffer, read);
  return text;
}

// A started child; Finish() closes its input, waits and collects its output.
class ConsoleChild {
 public:
  // errorTarget: an inheritable handle for the child's standard error (a
  // console, say) instead of a pipe read by the test.
  ConsoleChild(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& input, DWORD creationFlags = 0, HANDLE errorTarget = nullptr,
               bool keepInputOpen = false) {
    ChildPipe inputPipe, outputPipe, errorPipe;
    MakeChildPipe(false, &inputPipe);
    MakeChildPipe(true, &outputPipe);
    MakeChildPipe(true, &errorPipe);
    input_ = std::move(inputPipe.ours);
    output_ = std::move(outputPipe.ours);
    error_ = std::move(errorPipe.ours);

    STARTUPINFOA startup =
        StartupWithHandles(inputPipe.childs.Get(), outputPipe.childs.Get(),
                           errorTarget != nullptr ? errorTarget : errorPipe.childs.Get());
    std::string commandLine = QuoteArgument(program);
    for (const std::string& argument : arguments) commandLine += " " + QuoteArgument(argument);
    PROCESS_INFORMATION info{};
    started_ = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                              creationFlags, nullptr, nullptr, &startup, &info) != FALSE;
    // The child holds its own ends now; this process keeps only the other ends.
    inputPipe.childs.Reset();
    outputPipe.childs.Reset();
    errorPipe.childs.Reset();
    if (started_) child_ = tarvex::UniqueProcessInformation(info);
    outputReader_ = std::thread([this] { out_ = ReadAll(output_.Get()); });
    errorReader_ = std::thread([this] { err_ = ReadAll(error_.Get()); });
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
  DWORD ProcessId() const { return child_.processId; }
  bool Running() const {
    return child_.process && WaitForSingleObject(child_.process.Get(), 0) == WAIT_TIMEOUT;
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
  tarvex::UniqueHandle input_, output_, error_;
  tarvex::UniqueProcessInformation child_;
  DWORD exitCode_ = 0xFFFFFFFF;
  bool started_ = false, done_ = false, finished_ = false;
  std::string out_, err_;
  std::thread outputReader_, errorReader_, inputWriter_;
};

struct ConsoleRun {
  bool finished = false;
  DWORD exitCode = 0xFFFFFFFF;
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
  run.out = child.Out();
  run.err = child.Err();
  return run;
}

}  // namespace tarvex_test
