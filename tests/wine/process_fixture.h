// The memory holder fixture as a child process of the test: started from the
// directory of the test program, ready once it has reported its id, ended
// when the object goes away.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex_test {

inline std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory = path;
  return directory.substr(0, directory.find_last_of('\\'));
}

inline std::string OwnImagePath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

class MemoryHolder {
 public:
  static constexpr const char* kExecutableName = "memory_holder.exe";

  explicit MemoryHolder(const std::string& arguments = std::string()) {
    path_ = ProgramDirectory() + "\\" + kExecutableName;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inheritable, 0)) return;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    if (!CreatePipe(&output_, &childOutput, &inheritable, 0)) {
      CloseHandle(childInput);
      return;
    }
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = childOutput;
    std::string commandLine = "\"" + path_ + "\" --timeout-ms 120000 " + arguments;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessA(path_.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    if (!started) return;
    process_ = info.hProcess;
    CloseHandle(info.hThread);
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
      HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid_);
      if (process == nullptr) return true;
      CloseHandle(process);
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
    Close(input_);
    const bool started = process_ != nullptr;
    if (started) {
      if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
      }
    }
    Close(process_);
    Close(output_);
    if (started) WaitUntilIdNamesNoProcess(5000);
  }

 private:
  static void Close(HANDLE& handle) {
    if (handle != nullptr) CloseHandle(handle);
    handle = nullptr;
  }

  // The holder's first line; it ends itself after its timeout, so this returns.
  std::string ReadLine() {
    std::string line;
    char byte = 0;
    DWORD read = 0;
    while (line.size() < 100 && ReadFile(output_, &byte, 1, &read, nullptr) && read == 1) {
      if (byte == '\n') return line;
      line.push_back(byte);
    }
    return line;
  }

  std::string path_;
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  bool ready_ = false;
};

// Ids of the processes with this executable name, in snapshot order.
inline std::vector<DWORD> SnapshotIdsNamed(const std::string& executableName) {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL read = Process32First(snapshot, &entry); read; read = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, executableName.c_str()) == 0) ids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return ids;
}

}  // namespace tarvex_test
