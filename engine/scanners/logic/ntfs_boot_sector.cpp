// Boot-sector signatures of the volume formats the scanner meets, and NTFS geometry.
#include "ntfs_boot_sector.h"

#include <cstring>

#include "ntfs_records.h"

namespace tarvex {
namespace {

constexpr size_t kSectorMinLength = 512;
constexpr uint32_t kClusterMaxLength = 2u << 20;
constexpr uint32_t kRecordMaxLength = 64u << 10;

bool HasText(const unsigned char* sector, size_t offset, const char* text) {
  return std::memcmp(sector + offset, text, std::strlen(text)) == 0;
}

bool IsPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace

VolumeFormat RecognizeVolumeFormat(const unsigned char* sector, size_t sectorLength) {
  if (sector == nullptr || sectorLength < kSectorMinLength) return VolumeFormat::kUnknown;
  if (HasText(sector, 3, "-FVE-FS-")) return VolumeFormat::kBitLocker;
  if (HasText(sector, 3, "NTFS    ")) return VolumeFormat::kNtfs;
  if (HasText(sector, 3, "EXFAT   ")) return VolumeFormat::kExFat;
  if (std::memcmp(sector + 3, "ReFS\0\0\0\0", 8) == 0) return VolumeFormat::kReFs;
  const bool bootSignature = sector[510] == 0x55 && sector[511] == 0xAA;
  if (bootSignature && (HasText(sector, 0x36, "FAT") || HasText(sector, 0x52, "FAT32   "))) {
    return VolumeFormat::kFat;
  }
  return VolumeFormat::kUnknown;
}

bool ReadNtfsGeometry(const unsigned char* sector, size_t sectorLength, NtfsGeometry* geometry) {
  if (RecognizeVolumeFormat(sector, sectorLength) != VolumeFormat::kNtfs) return false;
  if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
  NtfsGeometry read;
  read.sectorLength = LoadLe16(sector + 0x0B);
  if (!IsPowerOfTwo(read.sectorLength) || read.sectorLength < 512 || read.sectorLength > 4096) {
    return false;
  }
  const uint8_t clusterField = sector[0x0D];
  uint64_t sectorsPerCluster = clusterField;
  if (clusterField > 0x80) {
    const unsigned shift = 256u - clusterField;
    if (shift > 31) return false;
    sectorsPerCluster = 1ull << shift;
  }
  if (!IsPowerOfTwo(sectorsPerCluster) ||
      sectorsPerCluster * read.sectorLength > kClusterMaxLength) {
    return false;
  }
  read.clusterLength = static_cast<uint32_t>(sectorsPerCluster * read.sectorLength);
  // Fields of the FAT layout that NTFS leaves zero.
  if (LoadLe16(sector + 0x0E) != 0 || sector[0x10] != 0 || LoadLe16(sector + 0x11) != 0 ||
      LoadLe16(sector + 0x13) != 0 || LoadLe16(sector + 0x16) != 0 ||
      LoadLe32(sector + 0x20) != 0) {
    return false;
  }
  const uint64_t sectorCount = LoadLe64(sector + 0x28);
  if (sectorCount == 0 || sectorCount > UINT64_MAX / read.sectorLength) return false;
  read.volumeLength = sectorCount * read.sectorLength;
  read.clusterCount = read.volumeLength / read.clusterLength;
  read.mftCluster = LoadLe64(sector + 0x30);
  read.mftMirrorCluster = LoadLe64(sector + 0x38);
  if (read.mftCluster >= read.clusterCount || read.mftMirrorCluster >= read.clusterCount) {
    return false;
  }
  const int8_t recordField = static_cast<int8_t>(sector[0x40]);
  uint64_t recordLength = 0;
  if (recordField > 0) {
    recordLength = static_cast<uint64_t>(recordField) * read.clusterLength;
  } else if (recordField < 0 && recordField >= -31) {
    recordLength = 1ull << -recordField;
  }
  if (!IsPowerOfTwo(recordLength) || recordLength < read.sectorLength ||
      recordLength > kRecordMaxLength) {
    return false;
  }
  read.recordLength = static_cast<uint32_t>(recordLength);
  *geometry = read;
  return true;
}

}  // namespace tarvex
