// Loading the engine and resolving its exports.
#include "engine_binding.h"

#include <windows.h>

#include "console_io.h"

namespace tarvex::console {
namespace {

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn* fn, std::string* missing) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (*fn == nullptr && missing->empty()) *missing = name;
  return *fn != nullptr;
}

}  // namespace

const char* EngineFileName() {
#ifdef _WIN64
  return "tarvex64.dll";
#else
  return "tarvex.dll";
#endif
}

bool LoadEngine(EngineExports* exports, std::string* error) {
  const HMODULE module = LoadLibraryA(EngineFileName());
  if (module == nullptr) {
    const DWORD loadError = GetLastError();
    *error = std::string("cannot load the engine ") + EngineFileName() + ": " +
             SystemErrorLine(loadError) + " (error " + std::to_string(loadError) + ")";
    return false;
  }
  std::string missing;
#define TARVEX_RESOLVE(name) Resolve(module, #name, &exports->name, &missing)
  TARVEX_RESOLVE(TarvexAds);
  TARVEX_RESOLVE(TarvexAdsInFile);
  TARVEX_RESOLVE(TarvexAdsInFolder);
  TARVEX_RESOLVE(TarvexAllProcesses);
  TARVEX_RESOLVE(TarvexProcessWithName);
  TARVEX_RESOLVE(TarvexProcessWithPid);
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
  if (!missing.empty()) {
    *error = std::string("the engine ") + EngineFileName() + " lacks the export " + missing;
    return false;
  }
  return true;
}

}  // namespace tarvex::console
