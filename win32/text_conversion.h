// The one conversion between 8-bit code pages (ANSI, UTF-8) and UTF-16:
// MultiByteToWideChar and WideCharToMultiByte without flags, so a character the
// target code page lacks becomes the system's default character. An empty text,
// or one the system cannot convert, gives an empty result.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarvex {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

std::wstring WideFromMultiByte(std::string_view text, UINT codePage);
std::u16string U16FromMultiByte(std::string_view text, UINT codePage);
std::string MultiByteFromWide(std::wstring_view text, UINT codePage);

// ANSI is code page 0 (CP_ACP), the way the A functions read texts.
inline std::wstring WideFromAnsi(std::string_view text) { return WideFromMultiByte(text, CP_ACP); }
inline std::u16string U16FromAnsi(std::string_view text) { return U16FromMultiByte(text, CP_ACP); }
inline std::string AnsiFromWide(std::wstring_view text) { return MultiByteFromWide(text, CP_ACP); }
inline std::string AnsiFromU16(std::u16string_view text) {
  return AnsiFromWide(
      std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}

// ANSI text as UTF-8 (through UTF-16).
std::string Utf8FromAnsi(std::string_view text);

// The same UTF-16 text seen as wchar_t, for the wide functions, and back.
inline const wchar_t* WidePointer(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::u16string U16FromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

}  // namespace tarvex
