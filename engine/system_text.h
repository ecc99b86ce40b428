// System texts for Windows error numbers and the engine's version checks.
#pragma once

#include <windows.h>

#include <string>

namespace tarvex {

// FormatMessageA text of a system error (flags 0x10FF, language 0) with every
// CR LF pair turned into one blank; empty when the system has no text for it.
std::string SystemErrorText(DWORD errorNumber);

// Windows error number of an HRESULT, handed to LsaNtStatusToWinError as if it
// were an NTSTATUS value.
DWORD TranslateStatus(HRESULT status);

// Version gate of the AMSI scans (GetVersionExA classification).
bool SystemSupportsAmsi();
// True on systems newer than Windows 2000.
bool SystemNewerThanWindows2000();

}  // namespace tarvex
