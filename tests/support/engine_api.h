// Test access to the engine exactly as a caller has it: the library loaded by
// file name and every export resolved with GetProcAddress.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tarvex.h"

namespace tarvex_test {

#ifdef _WIN64
inline const char* EngineFileName() { return "tarvex64.dll"; }
#else
inline const char* EngineFileName() { return "tarvex.dll"; }
#endif

struct EngineApi {
  HMODULE module = nullptr;
  decltype(&::TarvexAds) TarvexAds = nullptr;
  decltype(&::TarvexAds2) TarvexAds2 = nullptr;
  decltype(&::TarvexAdsInFile) TarvexAdsInFile = nullptr;
  decltype(&::TarvexAdsInFolder) TarvexAdsInFolder = nullptr;
  decltype(&::TarvexAllProcesses) TarvexAllProcesses = nullptr;
  decltype(&::TarvexProcessWithName) TarvexProcessWithName = nullptr;
  decltype(&::TarvexProcessWithPid) TarvexProcessWithPid = nullptr;
  decltype(&::TarvexBuffer) TarvexBuffer = nullptr;
  decltype(&::TarvexBuffer2) TarvexBuffer2 = nullptr;
  decltype(&::CancleScan) CancleScan = nullptr;
  decltype(&::IsAmsiAvailable) IsAmsiAvailable = nullptr;
  decltype(&::GetScanObject) GetScanObject = nullptr;
  decltype(&::GetScanResult) GetScanResult = nullptr;
  decltype(&::GetScanfile) GetScanfile = nullptr;
  decltype(&::GetScanfileLength) GetScanfileLength = nullptr;
  decltype(&::GetScanlistEntry) GetScanlistEntry = nullptr;
  decltype(&::GetScanlistSize) GetScanlistSize = nullptr;
  decltype(&::SetScanlistToStart) SetScanlistToStart = nullptr;

  bool Complete() const {
    return TarvexAds && TarvexAds2 && TarvexAdsInFile && TarvexAdsInFolder && TarvexAllProcesses &&
           TarvexProcessWithName && TarvexProcessWithPid && TarvexBuffer && TarvexBuffer2 &&
           CancleScan && IsAmsiAvailable && GetScanObject && GetScanResult && GetScanfile &&
           GetScanfileLength && GetScanlistEntry && GetScanlistSize && SetScanlistToStart;
  }

  std::string Report() const {
    return std::string(reinterpret_cast<const char*>(GetScanfile()),
                       static_cast<size_t>(GetScanfileLength()));
  }
  std::string ScanObject() const { return reinterpret_cast<const char*>(GetScanObject()); }
};

template <typename Fn>
void Resolve(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads the engine once per process (it stays loaded, as in the application).
inline EngineApi& Engine() {
  static EngineApi api = [] {
    EngineApi a;
    a.module = LoadLibraryA(EngineFileName());
    if (a.module == nullptr) return a;
#define TARVEX_RESOLVE(name) Resolve(a.module, #name, a.name)
    TARVEX_RESOLVE(TarvexAds);
    TARVEX_RESOLVE(TarvexAds2);
    TARVEX_RESOLVE(TarvexAdsInFile);
    TARVEX_RESOLVE(TarvexAdsInFolder);
    TARVEX_RESOLVE(TarvexAllProcesses);
    TARVEX_RESOLVE(TarvexProcessWithName);
    TARVEX_RESOLVE(TarvexProcessWithPid);
    TARVEX_RESOLVE(TarvexBuffer);
    TARVEX_RESOLVE(TarvexBuffer2);
    TARVEX_RESOLVE(CancleScan);
    TARVEX_RESOLVE(IsAmsiAvailable);
    TARVEX_RESOLVE(GetScanObject);
    TARVEX_RESOLVE(GetScanResult);
    TARVEX_RESOLVE(GetScanfile);
    TARVEX_RESOLVE(GetScanfileLength);
    TARVEX_RESOLVE(GetScanlistEntry);
    TARVEX_RESOLVE(GetScanlistSize);
    TARVEX_RESOLVE(SetScanlistToStart);
#undef TARVEX_RESOLVE
    return a;
  }();
  return api;
}

// One result entry as the getters hand it out.
struct Entry {
  std::string processName, processId, scantarget, isMalware, scannermessage, scannerErrornumber;
};

// Reads the whole result list the way a caller does: rewind, then six fields
// per entry until a read returns 0. The first element is the title entry.
inline std::vector<Entry> ReadEntries() {
  EngineApi& api = Engine();
  api.SetScanlistToStart();
  std::vector<Entry> entries;
  for (;;) {
    const char* names[6] = {"ProcessName", "ProcessID",      "Scantarget",
                            "IsMalware",   "Scannermessage", "ScannerErrornumber"};
    std::string values[6];
    for (int i = 0; i < 6; ++i) {
      const intptr_t address = api.GetScanlistEntry(names[i]);
      if (address == 0 || address == -1) return entries;
      values[i] = reinterpret_cast<const char*>(address);
    }
    entries.push_back({values[0], values[1], values[2], values[3], values[4], values[5]});
  }
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
