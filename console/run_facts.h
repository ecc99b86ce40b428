// What the run records say about the machine and the run: host, user, times,
// the engine's version; and the arguments as the engine takes them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvex::console {

// The computer's name (as %COMPUTERNAME%), UTF-8; empty when unknown.
std::string HostName();

// The account the program runs as, "DOMAIN\name", UTF-8; empty when unknown.
std::string UserName();

// Now, UTC, ISO 8601 with "Z".
std::string UtcNowText();

// The file version in the VERSIONINFO of a loaded module ("1.0.0"); empty
// when it has none.
std::string ModuleVersion(HMODULE module);

// The program's arguments in the ANSI code page, the form the engine's
// interface takes (UTF-8 when the manifest's UTF-8 code page is in force).
// A character that has no place in that code page becomes '?' (no best-fit
// look-alike is made); *lossyArguments gets the arguments that lost one.
std::vector<std::string> AnsiArguments(int argc, wchar_t** argv,
                                       std::vector<std::string>* lossyArguments);

// True when the process's ANSI code page is UTF-8.
bool AnsiCodePageIsUtf8();

}  // namespace tarvex::console
