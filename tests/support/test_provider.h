// Control of the test AMSI provider (tests/fixtures/test_amsi) loaded in this
// process or in a child: its TESTAMSI_* settings, read from the environment at
// each call, and its call log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvex_test {

// The settings that make a provider call fail or wait; children inherit them.
constexpr const char* kProviderSettings[] = {"TESTAMSI_FAIL_INIT", "TESTAMSI_FAIL_OPEN",
                                             "TESTAMSI_FAIL_SCAN", "TESTAMSI_SCAN_DELAY_MS"};

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

}  // namespace tarvex_test
