// Runs the console scanner as a script would: a child process with its
// standard handles redirected to pipes, its output collected and its exit
// code read.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

namespace tarvex_test {

inline std::string ExeDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory = path;
  return directory.substr(0, directory.find_last_of('\\'));
}

#ifdef _WIN64
inline const char* ConsoleProgramName() { return "OstrelleCmd64.exe"; }
#else
inline const char* ConsoleProgramName() { return "OstrelleCmd.exe"; }
#endif

// Sets environment variables for the life of the object (children inherit them).
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::map<std::string, std::string>& values) {
    for (const auto& [name, value] : values) {
      char old[4096] = {};
      const DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
      saved_.push_back({name, old, length > 0});
      SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
  }
  ~ScopedEnvironment() {
    for (const Saved& saved : saved_) {
      SetEnvironmentVariableA(saved.name.c_str(), saved.present ? saved.value.c_str() : nullptr);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  struct Saved {
    std::string name, value;
    bool present;
  };
  std::vector<Saved> saved_;
};

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
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE childInput = nullptr, childOutput = nullptr, childError = nullptr;
    CreatePipe(&childInput, &input_, &inheritable, 0);
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    CreatePipe(&output_, &childOutput, &inheritable, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    CreatePipe(&error_, &childError, &inheritable, 0);
    SetHandleInformation(error_, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = errorTarget != nullptr ? errorTarget : childError;
    std::string commandLine = QuoteArgument(program);
    for (const std::string& argument : arguments) commandLine += " " + QuoteArgument(argument);
    PROCESS_INFORMATION info{};
    started_ = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                              creationFlags, nullptr, nullptr, &startup, &info) != FALSE;
    CloseHandle(childInput);
    CloseHandle(childOutput);
    CloseHandle(childError);
    if (started_) {
      process_ = info.hProcess;
      processId_ = info.dwProcessId;
      CloseHandle(info.hThread);
    }
    outputReader_ = std::thread([this] { out_ = ReadAll(output_); });
    errorReader_ = std::thread([this] { err_ = ReadAll(error_); });
    inputWriter_ = std::thread([this, input, keepInputOpen] {
      DWORD written = 0;
      size_t offset = 0;
      while (offset < input.size() &&
             WriteFile(input_, input.data() + offset, static_cast<DWORD>(input.size() - offset),
                       &written, nullptr) &&
             written > 0) {
        offset += written;
      }
      if (keepInputOpen) return;  // the child's read stays blocked until Finish
      CloseHandle(input_);
      input_ = nullptr;
    });
  }

  ~ConsoleChild() { Finish(1000); }
  ConsoleChild(const ConsoleChild&) = delete;
  ConsoleChild& operator=(const ConsoleChild&) = delete;

  bool Started() const { return started_; }
  DWORD ProcessId() const { return processId_; }
  bool Running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
  }

  // Waits up to timeoutMs; a child still running then is terminated and
  // reported as not finished.
  bool Finish(DWORD timeoutMs) {
    if (done_) return finished_;
    done_ = true;
    if (process_ != nullptr) {
      finished_ = WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
      if (!finished_) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
      }
      GetExitCodeProcess(process_, &exitCode_);
      CloseHandle(process_);
      process_ = nullptr;
    }
    inputWriter_.join();
    if (input_ != nullptr) CloseHandle(input_);
    input_ = nullptr;
    outputReader_.join();
    errorReader_.join();
    CloseHandle(output_);
    CloseHandle(error_);
    return finished_;
  }

  DWORD ExitCode() const { return exitCode_; }
  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  HANDLE input_ = nullptr, output_ = nullptr, error_ = nullptr, process_ = nullptr;
  DWORD processId_ = 0;
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
                             const std::string& program = ExeDirectory() + "\\" +
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
