// The engine of the program's own bitness, loaded by file name at start and
// used through its exports only.
#pragma once

#include <string>

#include "tarvex.h"

namespace tarvex::console {

struct EngineExports {
  decltype(&::TarvexAds) TarvexAds = nullptr;
  decltype(&::TarvexAdsInFile) TarvexAdsInFile = nullptr;
  decltype(&::TarvexAdsInFolder) TarvexAdsInFolder = nullptr;
  decltype(&::TarvexAllProcesses) TarvexAllProcesses = nullptr;
  decltype(&::TarvexProcessWithName) TarvexProcessWithName = nullptr;
  decltype(&::TarvexProcessWithPid) TarvexProcessWithPid = nullptr;
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
};

// "tarvex64.dll" in the x64 build, "tarvex.dll" in the x86 build.
const char* EngineFileName();

// Loads the engine (it stays loaded for the life of the process: a cancelled
// worker may still be ending when the program exits) and resolves the
// exports. On failure returns false with one line in *error.
bool LoadEngine(EngineExports* exports, std::string* error);

}  // namespace tarvex::console
