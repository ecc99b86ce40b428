// Paths inside the stream scanners and the walker are UTF-16, so names that
// the ANSI code page cannot represent still open; the ANSI form is made only
// for the texts of entries and of the scan object.
#pragma once

#include <windows.h>

#include <string>

namespace tarvex {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline const wchar_t* WidePointer(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string U16FromWide(const wchar_t* text);

// ANSI (code page 0) text as UTF-16, the way the A functions read it.
std::u16string U16FromAnsi(const std::string& text);

// UTF-16 text in the ANSI code page (code page 0, no flags, the system's
// default character for what it cannot represent).
std::string AnsiFromU16(const std::u16string& text);

// The path handed to the wide file functions: unchanged while it fits the
// plain form, else made absolute and put into the long-path form.
std::u16string PlatformPath(const std::u16string& path);

}  // namespace tarvex
