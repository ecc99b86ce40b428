// Binding of Amsi.dll at load, and the AMSI context and session of each job.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "amsi_api.h"

namespace tarvex {

// What the job's AMSI session start reached; IsAmsiAvailable returns the number.
enum class AmsiState : int32_t {
  NoContext = 0,
  ContextOnly = 1,  // AmsiOpenSession failed
  ContextAndSession = 2,
};

struct AmsiBinding {
  HMODULE module = nullptr;
  AmsiInitializeFn initialize = nullptr;
  AmsiOpenSessionFn openSession = nullptr;
  AmsiScanBufferFn scanBuffer = nullptr;
  AmsiCloseSessionFn closeSession = nullptr;
  AmsiUninitializeFn uninitialize = nullptr;
  HAMSICONTEXT context = nullptr;
  HAMSISESSION session = nullptr;
  AmsiState state = AmsiState::NoContext;
  std::string sessionNote;  // " " or "AmsiInitialize: ..." / "AmsiOpenSession: ..."

  // All five functions were found; otherwise no AMSI function is ever called.
  bool Complete() const {
    return initialize && openSession && scanBuffer && closeSession && uninitialize;
  }
};

// Loads Amsi.dll and looks up its five functions; nothing is reported when
// something is missing, and the library is never freed.
void BindAmsiLibrary();

// Opens the job's AMSI context and session. Returns 0 on success, the HRESULT
// of the failing AMSI call, or -1 when the system or the binding cannot scan.
HRESULT StartAmsiSession();

// Releases what StartAmsiSession opened; the AMSI state keeps its value.
void EndAmsiSession();

}  // namespace tarvex
