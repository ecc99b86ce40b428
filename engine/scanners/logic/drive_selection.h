// Which drives the all-drives walk takes: present and readable, fixed or
// removable, and neither A: nor B:.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarvex {

constexpr unsigned kDriveRemovable = 2;  // DRIVE_REMOVABLE
constexpr unsigned kDriveFixed = 3;      // DRIVE_FIXED

// The roots of a GetLogicalDriveStrings list ("C:\", NUL, "D:\", NUL, NUL):
// every text up to the first empty one, within length bytes.
std::vector<std::string> DriveRootsFromList(const char* list, size_t length);

// The platform's answers about one drive root.
class DriveProbe {
 public:
  virtual ~DriveProbe() = default;
  // True when the volume's information can be read (a medium is present).
  virtual bool IsScannableVolume(const std::string& root) = 0;
  virtual unsigned DriveType(const std::string& root) = 0;
};

// Tests in this order, stopping at the first that fails: the volume probe,
// the drive type (removable or fixed), and the root is not A:\ or B:\ in
// either case.
bool IsDriveTaken(const std::string& root, DriveProbe& probe);

}  // namespace tarvex
