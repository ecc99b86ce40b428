// The Sysnative alias as System32.
#include "native_system_paths.h"

namespace tarvex {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

char16_t FoldAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// True when text at offset begins with prefix, ASCII letters compared without
// case and either slash matching either slash.
bool BeginsWith(const std::u16string& text, size_t offset, const std::u16string& prefix) {
  if (text.size() - offset < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const char16_t a = text[offset + i];
    const char16_t b = prefix[i];
    if (IsSeparator(a) && IsSeparator(b)) continue;
    if (FoldAscii(a) != FoldAscii(b)) return false;
  }
  return true;
}

}  // namespace

std::optional<std::u16string> SysnativeAsSystem32(const std::u16string& path,
                                                  const std::u16string& windowsFolder) {
  size_t folderLength = windowsFolder.size();
  while (folderLength > 0 && IsSeparator(windowsFolder[folderLength - 1])) --folderLength;
  if (folderLength == 0) return std::nullopt;
  const std::u16string folder = windowsFolder.substr(0, folderLength);
  static const std::u16string kAlias = u"sysnative";
  if (!BeginsWith(path, 0, folder)) return std::nullopt;
  if (path.size() == folderLength || !IsSeparator(path[folderLength])) return std::nullopt;
  const size_t aliasAt = folderLength + 1;
  if (!BeginsWith(path, aliasAt, kAlias)) return std::nullopt;
  const size_t aliasEnd = aliasAt + kAlias.size();
  if (aliasEnd != path.size() && !IsSeparator(path[aliasEnd])) return std::nullopt;
  return path.substr(0, aliasAt) + u"System32" + path.substr(aliasEnd);
}

}  // namespace tarvex
