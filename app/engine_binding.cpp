// Loading and unloading the engine library.
#include "engine_binding.h"

namespace ostrelle {

const char* EngineFileName() {
#ifdef _WIN64
  return "tarvex64.dll";
#else
  return "tarvex.dll";
#endif
}

void LoadEngine() { App().engineLibrary = LoadLibraryA(EngineFileName()); }

void UnloadEngine() {
  AppState& app = App();
  if (app.engineLibrary == nullptr) return;
  FreeLibrary(app.engineLibrary);
  app.engineLibrary = nullptr;
  // A worker of a cancelled job keeps the library loaded through its own
  // reference until it has ended the job (closed its AMSI session, restored
  // the privileges). Give it the time to reach its next checkpoint, so the
  // process does not end in the middle of that.
  constexpr DWORD kWorkerGraceMs = 10000;
  const ULONGLONG deadline = GetTickCount64() + kWorkerGraceMs;
  while (GetModuleHandleA(EngineFileName()) != nullptr && GetTickCount64() < deadline) {
    Sleep(10);
  }
}

}  // namespace ostrelle
