// Binding of Amsi.dll at load, and the AMSI context and session of each job.
#pragma once

#include <windows.h>

namespace tarvex {

// Loads Amsi.dll and looks up its five functions; nothing is reported when
// something is missing, and the library is never freed.
void BindAmsiLibrary();

// Opens the job's AMSI context and session. Returns 0 on success, the HRESULT
// of the failing AMSI call, or -1 when the system or the binding cannot scan.
HRESULT StartAmsiSession();

// Releases what StartAmsiSession opened; the AMSI state keeps its value.
void EndAmsiSession();

}  // namespace tarvex
