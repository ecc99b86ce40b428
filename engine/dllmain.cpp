// Library entry: the engine attach runs once at process attach; loading never fails.
#include <windows.h>

#include "engine_state.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    try {
      tarvex::AttachEngine(instance);
    } catch (...) {
    }
  }
  return TRUE;
}
