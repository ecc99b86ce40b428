// MultiByteToWideChar and WideCharToMultiByte for whole texts.
#include "text_conversion.h"

namespace tarvex {
namespace {

template <typename WideString>
WideString FromMultiByte(std::string_view text, UINT codePage) {
  if (text.empty()) return WideString();
  const int length = static_cast<int>(text.size());
  const int count = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (count <= 0) return WideString();
  WideString wide(static_cast<size_t>(count), 0);
  MultiByteToWideChar(codePage, 0, text.data(), length, reinterpret_cast<wchar_t*>(&wide[0]),
                      count);
  return wide;
}

}  // namespace

std::wstring WideFromMultiByte(std::string_view text, UINT codePage) {
  return FromMultiByte<std::wstring>(text, codePage);
}

std::u16string U16FromMultiByte(std::string_view text, UINT codePage) {
  return FromMultiByte<std::u16string>(text, codePage);
}

std::string MultiByteFromWide(std::wstring_view text, UINT codePage) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  const int count =
      WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return std::string();
  std::string converted(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), length, &converted[0], count, nullptr, nullptr);
  return converted;
}

std::string Utf8FromAnsi(std::string_view text) {
  return MultiByteFromWide(WideFromAnsi(text), CP_UTF8);
}

}  // namespace tarvex
