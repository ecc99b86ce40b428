// Which raw volume a walked tree lies on, and whether the file system's own
// account of that volume agrees with the boot sector the index was read from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ntfs_boot_sector.h"

namespace tarvex {

// The name that opens the raw volume of a volume path (GetVolumePathName's
// answer, or GetVolumeNameForVolumeMountPoint's): "D:\" and "\\?\D:\" give
// "\\.\D:", "\\?\Volume{...}\" gives "\\?\Volume{...}" (a volume is opened
// without the trailing backslash; with it, its root folder). Any other form
// (a folder a volume is mounted on, a network share) gives nothing: the caller
// asks for the volume name of the mount point, or has no raw volume.
std::optional<std::u16string> RawVolumeName(const std::u16string& volumePath);

// What the file system reports of a volume (FSCTL_GET_NTFS_VOLUME_DATA).
struct FileSystemVolumeData {
  uint64_t volumeSerialNumber = 0;
  uint32_t sectorLength = 0;
  uint32_t clusterLength = 0;
  uint32_t recordLength = 0;
  uint64_t mftCluster = 0;
  uint64_t mftMirrorCluster = 0;
};

// True when the file system's account of the volume matches the geometry read
// from its boot sector, and the walked folder lies on that volume: the 32-bit
// serial number Windows reports for the folder's volume is the low half of
// the NTFS volume's 64-bit serial number.
bool VolumeAccountsAgree(const NtfsGeometry& bootSector, const FileSystemVolumeData& fileSystem,
                         uint32_t folderVolumeSerialNumber);

}  // namespace tarvex
