// Whether a written log file may be handed to the shell's "open" verb.
//
// The log text holds file and stream names found on disk, so the file is
// opened only when its type cannot run: a program or script type would make
// the shell execute what the scan found.
#pragma once

#include <string>

namespace ostrelle {

// The extension the shell would see for a path, upper-case with its dot
// (".TXT"), or the empty text. Trailing dots and blanks are dropped first,
// as the file system drops them when it creates the file.
std::string ShellExtension(const std::string& path);

// True when the path may be opened with the shell: it has an extension, its
// file name holds no ":" (a named stream), and the extension is neither in
// pathExt (the PATHEXT list, ";"-separated, any case) nor one of the fixed
// program, script and shortcut types.
bool MayOpenWithShell(const std::string& path, const std::string& pathExt);

}  // namespace ostrelle
