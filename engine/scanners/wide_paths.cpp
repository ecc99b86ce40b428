// The platform form of caller paths.
#include "wide_paths.h"

#include <vector>

#include "scanners/logic/path_forms.h"

namespace tarvex {

std::u16string PlatformPath(const std::u16string& path) {
  if (!NeedsLongPathForm(path)) return path;
  return FullLongPathForm(path);
}

std::u16string FullLongPathForm(const std::u16string& path) {
  if (HasDevicePrefix(path)) return path;
  const DWORD needed = GetFullPathNameW(WidePointer(path), 0, nullptr, nullptr);
  if (needed == 0) return LongPathForm(path);
  std::vector<wchar_t> full(needed + 1, L'\0');
  const DWORD length = GetFullPathNameW(WidePointer(path), needed + 1, full.data(), nullptr);
  if (length == 0 || length > needed) return LongPathForm(path);
  return LongPathForm(U16FromWide(full.data()));
}

}  // namespace tarvex
