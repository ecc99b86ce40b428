// Drive-root list and the choice of drives for the all-drives walk.
#include "drive_selection.h"

namespace tarvex {

std::vector<std::string> DriveRootsFromList(const char* list, size_t length) {
  std::vector<std::string> roots;
  size_t offset = 0;
  while (offset < length && list[offset] != '\0') {
    size_t end = offset;
    while (end < length && list[end] != '\0') ++end;
    roots.emplace_back(list + offset, end - offset);
    offset = end + 1;
  }
  return roots;
}

namespace {

bool IsFloppyRoot(const std::string& root) {
  if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return false;
  const char letter = root[0];
  return letter == 'A' || letter == 'a' || letter == 'B' || letter == 'b';
}

}  // namespace

bool IsDriveTaken(const std::string& root, DriveProbe& probe) {
  if (!probe.IsScannableVolume(root)) return false;
  const unsigned type = probe.DriveType(root);
  if (type != kDriveRemovable && type != kDriveFixed) return false;
  return !IsFloppyRoot(root);
}

}  // namespace tarvex
