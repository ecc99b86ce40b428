// The memory holder fixture as a child process of the test: started from the
// directory of the test program, ready once it has reported its id, ended
// when the object goes away.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "child_pipe.h"
#include "process_snapshot.h"
#include "program_folder.h"
#include "text_conversion.h"
#include "win32_handles.h"

namespace tarvex_test {

class MemoryHolder {
 public:
  static constexpr const char* kExecutableName = "memory_holder.exe";

  // program: another copy of the holder (a UTF-16 path), for names that this
  // program's ANSI code page cannot hold.
  explicit MemoryHolder(const std::string& arguments = std::string(),
                        const std::wstring& program = std::wstring()) {
    path_ = ProgramDirectory() + "\\" + kExecutableName;
    const std::wstring widePath = program.empty() ? tarvex::WideFromAnsi(path_) : program;
    ChildPipe input, output;
    if (!MakeChildPipe(false, &input)) return;
    input_ = std::move(input.ours);
    if (!MakeChildPipe(true, &output)) return;
    output_ = std::move(output.ours);

    STARTUPINFOW startup = StartupWithHandles<STARTUPINFOW>(input.childs.Get(), output.childs.Get(),
                                                            output.childs.Get());
    std::wstring commandLine =
        L"\"" + widePath + L"\" --timeout-ms 120000 " + tarvex::WideFromAnsi(arguments);
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(widePath.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    input.childs.Reset();
    output.childs.Reset();
    if (!started) return;
    tarvex::UniqueProcessInformation child(info);
    process_ = std::move(child.process);
    child.thread.Reset();
    pid_ = info.dwProcessId;
    ready_ = ReadLine() == "ready " + std::to_string(pid_);
  }

  ~MemoryHolder() { Finish(); }
  MemoryHolder(const MemoryHolder&) = delete;
  MemoryHolder& operator=(const MemoryHolder&) = delete;

  bool Ready() const { return ready_; }

  // After Finish: true once the id cannot be opened any more.
  bool WaitUntilIdNamesNoProcess(DWORD timeoutMs) const {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
      if (!tarvex::UniqueHandle(
              OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid_))) {
        return true;
      }
      if (GetTickCount64() >= deadline) return false;
      Sleep(50);
    }
  }
  DWORD Pid() const { return pid_; }
  std::string PidText() const { return std::to_string(pid_); }
  const std::string& Path() const { return path_; }

  // Lets the holder end (its stdin closes), waits for it and drops every
  // handle to it. Wine keeps an ended process for a moment after its last
  // handle closed; waiting for that too keeps it out of later snapshots.
  void Finish() {
    input_.Reset();
    const bool started = process_.Valid();
    if (started) {
      if (WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 10000);
      }
    }
    process_.Reset();
    output_.Reset();
    if (started) WaitUntilIdNamesNoProcess(5000);
  }

 private:
  // The holder's first line; it ends itself after its timeout, so this returns.
  std::string ReadLine() {
    std::string line;
    char byte = 0;
    DWORD read = 0;
    while (line.size() < 100 && ReadFile(output_.Get(), &byte, 1, &read, nullptr) && read == 1) {
      if (byte == '\n') return line;
      line.push_back(byte);
    }
    return line;
  }

  std::string path_;
  tarvex::UniqueHandle input_;
  tarvex::UniqueHandle output_;
  tarvex::UniqueHandle process_;
  DWORD pid_ = 0;
  bool ready_ = false;
};

}  // namespace tarvex_test
