// Entry paths, listing patterns and the long-path form.
#include "path_forms.h"

namespace tarvex {
namespace {

bool EndsWithBackslash(const std::u16string& path) { return !path.empty() && path.back() == u'\\'; }

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

std::u16string WithBackslashes(std::u16string path) {
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

}  // namespace

std::u16string EntryPath(const std::u16string& folderPath, const std::u16string& name) {
  std::u16string path = folderPath;
  if (!EndsWithBackslash(path)) path += u'\\';
  path += name;
  return path;
}

std::u16string ListingPattern(const std::u16string& folderPath) {
  return EntryPath(folderPath, u"*");
}

bool HasDevicePrefix(const std::u16string& path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
         (path[2] == u'?' || path[2] == u'.') && IsSeparator(path[3]);
}

bool NeedsLongPathForm(const std::u16string& path) {
  return path.size() > kPlainPathMaxChars && !HasDevicePrefix(path);
}

std::u16string LongPathForm(const std::u16string& fullPath) {
  if (HasDevicePrefix(fullPath)) return fullPath;
  if (fullPath.size() >= 3 && IsDriveLetter(fullPath[0]) && fullPath[1] == u':' &&
      IsSeparator(fullPath[2])) {
    return u"\\\\?\\" + WithBackslashes(fullPath);
  }
  if (fullPath.size() >= 3 && IsSeparator(fullPath[0]) && IsSeparator(fullPath[1]) &&
      !IsSeparator(fullPath[2])) {
    return u"\\\\?\\UNC\\" + WithBackslashes(fullPath.substr(2));
  }
  return fullPath;
}

}  // namespace tarvex
