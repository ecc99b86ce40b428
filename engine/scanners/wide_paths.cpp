// UTF-16 and ANSI forms of paths, and the platform form of long paths.
#include "wide_paths.h"

#include <vector>

#include "scanners/logic/path_forms.h"

namespace tarvex {

std::u16string U16FromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

std::u16string U16FromAnsi(const std::string& text) {
  if (text.empty()) return std::u16string();
  const int count =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (count <= 0) return std::u16string();
  std::u16string wide(static_cast<size_t>(count), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                      reinterpret_cast<wchar_t*>(&wide[0]), count);
  return wide;
}

std::string AnsiFromU16(const std::u16string& text) {
  if (text.empty()) return std::string();
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int count = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return std::string();
  std::string ansi(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, length, &ansi[0], count, nullptr, nullptr);
  return ansi;
}

std::u16string PlatformPath(const std::u16string& path) {
  if (!NeedsLongPathForm(path)) return path;
  const DWORD needed = GetFullPathNameW(WidePointer(path), 0, nullptr, nullptr);
  if (needed == 0) return LongPathForm(path);
  std::vector<wchar_t> full(needed + 1, L'\0');
  const DWORD length = GetFullPathNameW(WidePointer(path), needed + 1, full.data(), nullptr);
  if (length == 0 || length > needed) return LongPathForm(path);
  return LongPathForm(U16FromWide(full.data()));
}

}  // namespace tarvex
