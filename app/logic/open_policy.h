// Whether a written log file may be handed to the shell's "open" verb.
//
// The log text holds file and stream names found on disk, so the file is
// opened only when it is a plain-text type: .txt, .log or .csv. Any other
// type (a program, a script, but also a web page, an image or a document
// that a viewer would render with its active content) is written and not
// opened.
#pragma once

#include <string>

namespace ostrelle {

// The extension the shell would see for a path, upper-case with its dot
// (".TXT"), or the empty text. Trailing dots and blanks are dropped first,
// as the file system drops them when it creates the file.
std::string ShellExtension(const std::string& path);

// True when the path may be opened with the shell: its extension is .txt,
// .log or .csv (any case) and its file name holds no ":" (a named stream).
bool MayOpenWithShell(const std::string& path);

}  // namespace ostrelle
