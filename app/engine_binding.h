// The engine library, bound by file name at start; every export is resolved
// by name at the moment of the call. Without the library or the export a call
// does nothing and yields 0.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app_state.h"
#include "tarvex.h"

namespace ostrelle {

// "tarvex64.dll" in the x64 build, "tarvex.dll" in the x86 build.
const char* EngineFileName();

// LoadLibraryA with the bare file name; the handle may be null.
void LoadEngine();

// Drops the application's reference to the engine and waits (bounded) while
// a cancelled job's worker, which holds its own reference, is still ending.
void UnloadEngine();

template <typename Export, typename... Args>
intptr_t CallEngine(const char* exportName, Args... args) {
  HMODULE engine = App().engineLibrary;
  if (engine == nullptr) return 0;
  const FARPROC address = GetProcAddress(engine, exportName);
  if (address == nullptr) return 0;
  return reinterpret_cast<Export>(reinterpret_cast<void*>(address))(args...);
}

// CALL_ENGINE(TarvexAllProcesses, window, proc, 0) with the export's own signature.
#define OSTRELLE_CALL_ENGINE(name, ...) \
  ::ostrelle::CallEngine<decltype(&::name)>(#name, __VA_ARGS__)
#define OSTRELLE_CALL_ENGINE0(name) ::ostrelle::CallEngine<decltype(&::name)>(#name)

}  // namespace ostrelle
