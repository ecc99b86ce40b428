// Test access to the engine exactly as a caller has it: the library loaded by
// file name and every export resolved with GetProcAddress (tarvex_loader.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tarvex_loader.h"

namespace tarvex_test {

struct EngineApi : tarvex::EngineLibrary {
  std::string Report() const {
    return std::string(reinterpret_cast<const char*>(GetScanfile()),
                       static_cast<size_t>(GetScanfileLength()));
  }
  std::string ScanObject() const { return reinterpret_cast<const char*>(GetScanObject()); }
};

// Loads the engine once per process (it stays loaded, as in the application).
inline EngineApi& Engine() {
  static EngineApi api;
  static const bool loaded = [] {
    api.KeepLoaded();
    return api.Load();
  }();
  (void)loaded;
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
  tarvex::EntryFields values;
  while (tarvex::ReadNextEntry(api, &values)) {
    entries.push_back({values[0], values[1], values[2], values[3], values[4], values[5]});
  }
  return entries;
}

}  // namespace tarvex_test
