// Paths inside the stream scanners and the walker are UTF-16, so names that
// the ANSI code page cannot represent still open; the ANSI form is made only
// for the texts of entries and of the scan object (text_conversion.h).
#pragma once

#include <windows.h>

#include <string>

#include "text_conversion.h"

namespace tarvex {

// The path handed to the wide file functions: unchanged while it fits the
// plain form, else made absolute and put into the long-path form.
std::u16string PlatformPath(const std::u16string& path);

}  // namespace tarvex
