// Extended-length paths.
#include "console_paths.h"

namespace tarvex::console {
namespace {

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace

bool HasDevicePrefix(const std::u16string& path) {
  return path.size() >= 4 && path[0] == u'\\' && path[1] == u'\\' &&
         (path[2] == u'?' || path[2] == u'.') && path[3] == u'\\';
}

std::u16string ExtendedLengthPath(const std::u16string& fullPath) {
  if (HasDevicePrefix(fullPath)) return fullPath;
  if (fullPath.size() >= 3 && IsDriveLetter(fullPath[0]) && fullPath[1] == u':' &&
      fullPath[2] == u'\\') {
    return u"\\\\?\\" + fullPath;
  }
  if (fullPath.size() > 2 && fullPath[0] == u'\\' && fullPath[1] == u'\\') {
    return u"\\\\?\\UNC\\" + fullPath.substr(2);
  }
  return fullPath;
}

}  // namespace tarvex::console
