// The engine library, bound by file name at start; every export is resolved
// by name at the moment of the call. Without the library or the export a call
// does nothing and yields 0.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app_state.h"
#include "tarvex.h"

namespace ostrelle {

// LoadLibraryA with the bare file name of the application's bitness
// (TARVEX_ENGINE_FILE_NAME); the handle may be null. The process's DLL search
// no longer holds the current folder when this runs (main.cpp).
void LoadEngine();

// The engine's worker keeps the library loaded through a reference of its own
// until it has ended its job. After a cancel the application drops its own
// reference (calls then yield 0), so that the library stays loaded exactly as
// long as the cancelled job's worker runs: EngineLoadedByAnyone() turns false
// when that worker has ended, and LoadEngine() binds the library again.
void ReleaseEngine();
bool EngineLoadedByAnyone();

// Drops the application's reference to the engine and waits (bounded) while
// a cancelled job's worker is still ending.
void UnloadEngine();

template <typename Export, typename... Args>
intptr_t CallEngine(const char* exportName, Args... args) {
  const HMODULE engine = App().engineLibrary.Get();
  if (engine == nullptr) return 0;
  const FARPROC address = GetProcAddress(engine, exportName);
  if (address == nullptr) return 0;
  return reinterpret_cast<Export>(reinterpret_cast<void*>(address))(args...);
}

// OSTRELLE_CALL_ENGINE(TarvexAllProcesses, window, proc, 0) with the export's
// own signature (its pointer type TarvexAllProcessesFn from tarvex.h).
#define OSTRELLE_CALL_ENGINE(name, ...) ::ostrelle::CallEngine<::name##Fn>(#name, __VA_ARGS__)
#define OSTRELLE_CALL_ENGINE0(name) ::ostrelle::CallEngine<::name##Fn>(#name)

}  // namespace ostrelle
