// Control of the test AMSI provider (tests/fixtures/test_amsi) loaded in this
// process or in a child: its TESTAMSI_* settings, read from the environment at
// each call, and its call log.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "win32_handles.h"

namespace tarvex_test {

// The settings that make a provider call fail or wait; children inherit them.
constexpr const char* kProviderSettings[] = {"TESTAMSI_FAIL_INIT", "TESTAMSI_FAIL_OPEN",
                                             "TESTAMSI_FAIL_SCAN", "TESTAMSI_SCAN_DELAY_MS",
                                             "TESTAMSI_HOLD",      "TESTAMSI_HOLD_UNTIL_CANCEL"};

// Sets one setting; a null value removes it.
inline void SetProviderSetting(const char* name, const char* value) {
  SetEnvironmentVariableA(name, value);
}

// Removes every setting of kProviderSettings: the provider answers normally.
inline void ClearProviderSettings() {
  for (const char* name : kProviderSettings) SetProviderSetting(name, nullptr);
}

// Call log of the test AMSI provider loaded in this process ("" when absent).
inline std::string ProviderCallLog() {
  HMODULE provider = GetModuleHandleA("amsi.dll");
  if (provider == nullptr) return std::string();
  using LogFn = const char*(WINAPI*)();
  auto fn =
      reinterpret_cast<LogFn>(reinterpret_cast<void*>(GetProcAddress(provider, "TestAmsiCallLog")));
  return fn == nullptr ? std::string() : std::string(fn());
}

inline void ResetProviderCallLog() {
  HMODULE provider = GetModuleHandleA("amsi.dll");
  if (provider == nullptr) return;
  using ResetFn = void(WINAPI*)();
  auto fn = reinterpret_cast<ResetFn>(
      reinterpret_cast<void*>(GetProcAddress(provider, "TestAmsiResetCallLog")));
  if (fn != nullptr) fn();
}

// Lines of the provider's call log that start with the given call name.
inline std::vector<std::string> ProviderCalls(const std::string& callName) {
  std::vector<std::string> lines;
  const std::string log = ProviderCallLog();
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    if (line.compare(0, callName.size(), callName) == 0 &&
        (line.size() == callName.size() || line[callName.size()] == ' ')) {
      lines.push_back(line);
    }
    start = end + 1;
  }
  return lines;
}

// Holds every provider scan, in this process and in children started while it
// lives, until Release: a job cannot end before the test has done what it
// must do while the job runs. The provider logs "AmsiScanBuffer-held" when a
// scan waits.
class ProviderHold {
 public:
  // holding false: the setting is in place (for children started from now
  // on) but nothing is held until Hold.
  explicit ProviderHold(bool holding = true) {
    char folder[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    if (GetTempPathA(MAX_PATH, folder) > 0 && GetTempFileNameA(folder, "hld", 0, path) != 0) {
      path_ = path;  // GetTempFileNameA has created the file
      SetProviderSetting("TESTAMSI_HOLD", path_.c_str());
      heldBefore_ = HeldScans().size();
      if (!holding) Release();
    }
  }
  ~ProviderHold() {
    Release();
    SetProviderSetting("TESTAMSI_HOLD", nullptr);
  }
  ProviderHold(const ProviderHold&) = delete;
  ProviderHold& operator=(const ProviderHold&) = delete;

  bool Holding() const {
    return !path_.empty() && GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  // Lets the held scan, and every later one, go on.
  void Release() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  // Holds the scans from now on again.
  bool Hold() {
    if (path_.empty()) return false;
    heldBefore_ = HeldScans().size();
    const tarvex::UniqueFileHandle file(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
  }

  // The held scans of this process's provider logged so far, and those
  // logged before this hold began.
  static std::vector<std::string> HeldScans() { return ProviderCalls("AmsiScanBuffer-held"); }
  size_t HeldBefore() const { return heldBefore_; }

 private:
  std::string path_;
  size_t heldBefore_ = 0;
};

// The thread of a held provider scan in this process, opened while the scan is
// held, so that the test can wait for that thread (a job's worker) to end
// once it has let the scan go.
class HeldScanThread {
 public:
  // Waits until a scan of this process is held by the hold and opens its thread.
  HeldScanThread(const ProviderHold& hold, DWORD timeoutMs) {
    if (!hold.Holding()) return;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::vector<std::string> held;
    while ((held = ProviderHold::HeldScans()).size() <= hold.HeldBefore()) {
      if (GetTickCount64() >= deadline) return;
      Sleep(5);
    }
    const std::string& line = held.back();
    const size_t at = line.find("thread=");
    if (at == std::string::npos) return;
    const DWORD id = std::strtoul(line.c_str() + at + 7, nullptr, 10);
    thread_.Reset(OpenThread(SYNCHRONIZE, FALSE, id));
  }

  bool Found() const { return static_cast<bool>(thread_); }
  // Waits for the thread to end; false when it was not found or did not end.
  bool WaitForEnd(DWORD timeoutMs) const {
    return thread_ && WaitForSingleObject(thread_.Get(), timeoutMs) == WAIT_OBJECT_0;
  }

 private:
  tarvex::UniqueHandle thread_;
};

}  // namespace tarvex_test
