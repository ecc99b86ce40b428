// Recognition of a volume's boot sector and the NTFS geometry it declares.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvex {

enum class VolumeFormat { kNtfs, kFat, kExFat, kReFs, kBitLocker, kUnknown };

struct NtfsGeometry {
  uint32_t sectorLength = 0;
  uint32_t clusterLength = 0;
  uint32_t recordLength = 0;  // one master-file-table record
  uint64_t clusterCount = 0;
  uint64_t volumeLength = 0;
  uint64_t mftCluster = 0;
  uint64_t mftMirrorCluster = 0;
};

// The smallest boot-sector read: every supported sector size divides it, so a
// read of this length at offset 0 is aligned on any volume.
constexpr size_t kBootReadLength = 4096;

// The format the first sector (at least 512 bytes) declares by its signatures.
// A BitLocker volume is recognised by its own header, whatever it hides.
VolumeFormat RecognizeVolumeFormat(const unsigned char* sector, size_t sectorLength);

// The geometry of an NTFS boot sector. Returns false, leaving *geometry
// unchanged, when the format is not NTFS or a field is out of range: sector
// sizes 512 to 4,096 bytes; clusters of one sector up to 2 MiB (sectors per
// cluster above 128 are stored as 2^(256 - n)); records of 2^n bytes from the
// sector size up to 64 KiB (the signed byte at 0x40 counts clusters when
// positive and means 2^-n bytes when negative); the fields that FAT uses
// must be zero; $MFT and its mirror lie inside the volume.
bool ReadNtfsGeometry(const unsigned char* sector, size_t sectorLength, NtfsGeometry* geometry);

}  // namespace tarvex
