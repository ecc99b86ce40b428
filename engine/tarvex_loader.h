// tarvex_loader.h - loads the tarvex engine library of the caller's bitness by
// file name and resolves its 18 exports by name (C++, Windows).
//
//   tarvex::EngineLibrary engine;
//   if (!engine.Load()) { ... engine.LoadError() or engine.MissingExport() ... }
//   engine.TarvexBuffer2("name", data, length, 0, "", "");
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "tarvex.h"

namespace tarvex {

// One function pointer per export, named as the export; null until resolved.
struct EngineExports {
#define TARVEX_EXPORT_POINTER(name, parameters) name##Fn name = nullptr;
  TARVEX_EXPORTS(TARVEX_EXPORT_POINTER)
#undef TARVEX_EXPORT_POINTER
};

// Owns the library handle: the library is freed with the object unless
// KeepLoaded was called.
class EngineLibrary : public EngineExports {
 public:
  EngineLibrary() = default;
  ~EngineLibrary() {
    if (module_ != nullptr && !keepLoaded_) FreeLibrary(module_);
  }
  EngineLibrary(const EngineLibrary&) = delete;
  EngineLibrary& operator=(const EngineLibrary&) = delete;

  // LoadLibraryA with the bare file name, then every export by name. True when
  // the library is loaded and has all 18 exports. Call once.
  bool Load(const char* fileName = TARVEX_ENGINE_FILE_NAME) {
    module_ = LoadLibraryA(fileName);
    loadError_ = module_ == nullptr ? GetLastError() : 0;
    if (module_ == nullptr) return false;
#define TARVEX_RESOLVE_EXPORT(name, parameters)                                               \
  name = reinterpret_cast<name##Fn>(reinterpret_cast<void*>(GetProcAddress(module_, #name))); \
  if (name == nullptr && missingExport_ == nullptr) missingExport_ = #name;
    TARVEX_EXPORTS(TARVEX_RESOLVE_EXPORT)
#undef TARVEX_RESOLVE_EXPORT
    return Complete();
  }

  bool Loaded() const { return module_ != nullptr; }
  bool Complete() const { return module_ != nullptr && missingExport_ == nullptr; }
  // The system's error number of a failed load (0 after a successful one).
  DWORD LoadError() const { return loadError_; }
  // The first export, in interface order, that the library lacks; null when none.
  const char* MissingExport() const { return missingExport_; }
  HMODULE Module() const { return module_; }

  // The library stays loaded for the life of the process, so a worker of a
  // cancelled job may still be ending when the caller exits.
  void KeepLoaded() { keepLoaded_ = true; }

 private:
  HMODULE module_ = nullptr;
  DWORD loadError_ = 0;
  const char* missingExport_ = nullptr;
  bool keepLoaded_ = false;
};

// The six fields of one result entry, in field order (kFieldNames).
using EntryFields = std::array<std::string, TARVEX_FIELD_COUNT>;

// Reads the next entry of the result list through GetScanlistEntry, one call
// per field. False at the end of the list (a field reads 0) or for a field
// the engine does not know (-1); *fields is then incomplete.
inline bool ReadNextEntry(const EngineExports& engine, EntryFields* fields) {
  for (int field = 0; field < TARVEX_FIELD_COUNT; ++field) {
    const intptr_t address = engine.GetScanlistEntry(kFieldNames[field]);
    if (address == 0 || address == -1) return false;
    (*fields)[static_cast<size_t>(field)] = reinterpret_cast<const char*>(address);
  }
  return true;
}

}  // namespace tarvex
