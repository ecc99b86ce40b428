// Loading and unloading the engine library.
#include "engine_binding.h"

namespace ostrelle {

void LoadEngine() { App().engineLibrary.Reset(LoadLibraryA(TARVEX_ENGINE_FILE_NAME)); }

void ReleaseEngine() { App().engineLibrary.Reset(); }

bool EngineLoadedByAnyone() { return GetModuleHandleA(TARVEX_ENGINE_FILE_NAME) != nullptr; }

void UnloadEngine() {
  ReleaseEngine();
  // A worker of a cancelled job keeps the library loaded through its own
  // reference until it has ended the job (closed its AMSI session, restored
  // the privileges). Give it the time to reach its next checkpoint, so the
  // process does not end in the middle of that.
  constexpr DWORD kWorkerGraceMs = 10000;
  const ULONGLONG deadline = GetTickCount64() + kWorkerGraceMs;
  while (EngineLoadedByAnyone() && GetTickCount64() < deadline) {
    Sleep(10);
  }
}

}  // namespace ostrelle
