// Paths inside the stream scanners and the walker are UTF-16, so names that
// the ANSI code page cannot represent still open; the ANSI form is made only
// for the texts of entries and of the scan object (text_conversion.h).
#pragma once

#include <windows.h>

#include <string>

#include "text_conversion.h"

namespace tarvex {

// The path handed to the wide file functions for a path a caller gave:
// unchanged while it fits the plain form, else FullLongPathForm.
std::u16string PlatformPath(const std::u16string& path);

// The long-path form ("\\?\") of the path made absolute. The caller's path is
// read as a Win32 path here, once, as the system would open it ("." and ".."
// resolved, trailing dots and blanks dropped); whatever is joined to the
// result afterwards is taken literally. Paths already in a prefixed form come
// back unchanged.
std::u16string FullLongPathForm(const std::u16string& path);

}  // namespace tarvex
