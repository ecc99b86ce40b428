// Boot sectors: which format a volume declares, the NTFS geometry, and the
// index build refusing every volume that is not NTFS.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scanners/logic/mft_stream_index.h"
#include "scanners/logic/ntfs_boot_sector.h"

using namespace tarvex;

namespace {

void Put(std::vector<unsigned char>& sector, size_t at, uint64_t value, size_t byteCount) {
  for (size_t i = 0; i < byteCount; ++i)
    sector[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void PutText(std::vector<unsigned char>& sector, size_t at, const char* text, size_t length) {
  std::memcpy(&sector[at], text, length);
}

// The fields mkntfs writes for a 4 GiB volume with 512-byte sectors.
std::vector<unsigned char> NtfsBootSector() {
  std::vector<unsigned char> sector(512, 0);
  sector[0] = 0xEB;
  sector[1] = 0x52;
  sector[2] = 0x90;
  PutText(sector, 3, "NTFS    ", 8);
  Put(sector, 0x0B, 512, 2);
  sector[0x0D] = 8;
  sector[0x15] = 0xF8;
  Put(sector, 0x28, 8388607, 8);  // 4 GiB
  Put(sector, 0x30, 4, 8);
  Put(sector, 0x38, 1023, 8);
  sector[0x40] = 0xF6;
  sector[0x44] = 0x01;
  sector[510] = 0x55;
  sector[511] = 0xAA;
  return sector;
}

std::vector<unsigned char> SectorOf(const char* oem, size_t typeAt = 0,
                                    const char* type = nullptr) {
  std::vector<unsigned char> sector(512, 0);
  PutText(sector, 3, oem, 8);
  if (type != nullptr) PutText(sector, typeAt, type, 8);
  sector[510] = 0x55;
  sector[511] = 0xAA;
  return sector;
}

TEST(NtfsBootSector, FormatsAreToldApartBySignature) {
  std::vector<unsigned char> garbage(512);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<unsigned char>(i * 37 + 11);
  std::vector<unsigned char> noBootSignature = SectorOf("MSDOS5.0", 0x36, "FAT16   ");
  noBootSignature[510] = 0;
  std::vector<unsigned char> refs(512, 0);
  std::memcpy(&refs[3], "ReFS\0\0\0\0FSRS", 12);
  const std::vector<unsigned char> ntfs = NtfsBootSector();
  struct Case {
    const char* what;
    std::vector<unsigned char> sector;
    VolumeFormat format;
  } cases[] = {
      {"NTFS", NtfsBootSector(), VolumeFormat::kNtfs},
      {"FAT12", SectorOf("MSDOS5.0", 0x36, "FAT12   "), VolumeFormat::kFat},
      {"FAT16", SectorOf("MSDOS5.0", 0x36, "FAT16   "), VolumeFormat::kFat},
      {"FAT32", SectorOf("MSWIN4.1", 0x52, "FAT32   "), VolumeFormat::kFat},
      {"exFAT", SectorOf("EXFAT   "), VolumeFormat::kExFat},
      {"ReFS", refs, VolumeFormat::kReFs},
      {"BitLocker", SectorOf("-FVE-FS-", 0x52, "FAT32   "), VolumeFormat::kBitLocker},
      {"zeros", std::vector<unsigned char>(512, 0), VolumeFormat::kUnknown},
      {"garbage", garbage, VolumeFormat::kUnknown},
      {"FAT type without boot signature", noBootSignature, VolumeFormat::kUnknown},
      {"NTFS cut to 100 bytes", std::vector<unsigned char>(ntfs.begin(), ntfs.begin() + 100),
       VolumeFormat::kUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecognizeVolumeFormat(c.sector.data(), c.sector.size()), c.format) << c.what;
  }
  EXPECT_EQ(RecognizeVolumeFormat(nullptr, 512), VolumeFormat::kUnknown);
}

TEST(NtfsBootSector, GeometryFieldsAndTheirLimits) {
  struct Case {
    const char* what;
    size_t at;
    uint64_t value;
    size_t byteCount;
    bool valid;
    uint32_t sectorLength, clusterLength, recordLength;
    size_t alsoAt = 0;  // a second field, when not 0
    uint64_t alsoValue = 0;
  } cases[] = {
      {"as mkntfs writes it", 0x0D, 8, 1, true, 512, 4096, 1024},
      {"1,024-byte sectors", 0x0B, 1024, 2, true, 1024, 8192, 1024},
      {"4,096-byte sectors and 4 KiB records", 0x0B, 4096, 2, true, 4096, 32768, 4096, 0x40, 0xF4},
      {"4,096-byte sectors and 1 KiB records", 0x0B, 4096, 2, false, 0, 0, 0},
      {"256-byte sectors", 0x0B, 256, 2, false, 0, 0, 0},
      {"8,192-byte sectors", 0x0B, 8192, 2, false, 0, 0, 0},
      {"sector size not a power of two", 0x0B, 1536, 2, false, 0, 0, 0},
      {"one sector per cluster", 0x0D, 1, 1, true, 512, 512, 1024},
      {"128 sectors per cluster", 0x0D, 128, 1, true, 512, 65536, 1024},
      {"2^8 sectors per cluster (0xF8)", 0x0D, 0xF8, 1, true, 512, 131072, 1024},
      {"2^12 sectors per cluster: 2 MiB", 0x0D, 0xF4, 1, true, 512, 2u << 20, 1024},
      {"2^13 sectors per cluster: 4 MiB", 0x0D, 0xF3, 1, false, 0, 0, 0},
      {"2^127 sectors per cluster", 0x0D, 0x81, 1, false, 0, 0, 0},
      {"no sectors per cluster", 0x0D, 0, 1, false, 0, 0, 0},
      {"three sectors per cluster", 0x0D, 3, 1, false, 0, 0, 0},
      {"records of 2^12 bytes", 0x40, 0xF4, 1, true, 512, 4096, 4096},
      {"records of 2^16 bytes", 0x40, 0xF0, 1, true, 512, 4096, 65536},
      {"records of 2^17 bytes", 0x40, 0xEF, 1, false, 0, 0, 0},
      {"records of 2^9 bytes", 0x40, 0xF7, 1, true, 512, 4096, 512},
      {"records of 2^8 bytes, below a sector", 0x40, 0xF8, 1, false, 0, 0, 0},
      {"records of one cluster", 0x40, 0x01, 1, true, 512, 4096, 4096},
      {"records of three clusters", 0x40, 0x03, 1, false, 0, 0, 0},
      {"records of 127 clusters", 0x40, 0x7F, 1, false, 0, 0, 0},
      {"record size byte 0", 0x40, 0x00, 1, false, 0, 0, 0},
      {"record size byte -128", 0x40, 0x80, 1, false, 0, 0, 0},
      {"FAT's reserved sectors", 0x0E, 1, 2, false, 0, 0, 0},
      {"FAT count", 0x10, 2, 1, false, 0, 0, 0},
      {"FAT root entries", 0x11, 512, 2, false, 0, 0, 0},
      {"FAT's 32-bit sector count", 0x20, 100, 4, false, 0, 0, 0},
      {"no sectors", 0x28, 0, 8, false, 0, 0, 0},
      {"sector count that overflows bytes", 0x28, ~0ull, 8, false, 0, 0, 0},
      {"$MFT past the volume", 0x30, 1ull << 40, 8, false, 0, 0, 0},
      {"$MFTMirr past the volume", 0x38, ~0ull, 8, false, 0, 0, 0},
      {"no 55 AA at the end", 510, 0, 2, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> sector = NtfsBootSector();
    Put(sector, c.at, c.value, c.byteCount);
    if (c.alsoAt != 0) Put(sector, c.alsoAt, c.alsoValue, 1);
    NtfsGeometry geometry;
    geometry.sectorLength = 77;  // untouched on failure
    ASSERT_EQ(ReadNtfsGeometry(sector.data(), sector.size(), &geometry), c.valid);
    if (!c.valid) {
      EXPECT_EQ(geometry.sectorLength, 77u);
      continue;
    }
    EXPECT_EQ(geometry.sectorLength, c.sectorLength);
    EXPECT_EQ(geometry.clusterLength, c.clusterLength);
    EXPECT_EQ(geometry.recordLength, c.recordLength);
    EXPECT_EQ(geometry.volumeLength, 8388607ull * c.sectorLength);
    EXPECT_EQ(geometry.mftCluster, 4u);
  }
}

TEST(NtfsBootSector, IndexRefusesEveryOtherVolume) {
  std::vector<unsigned char> refs(512, 0);
  std::memcpy(&refs[3], "ReFS\0\0\0\0FSRS", 12);
  std::vector<unsigned char> badNtfs = NtfsBootSector();
  badNtfs[0x0D] = 3;
  struct Case {
    const char* what;
    std::vector<unsigned char> sector;
    size_t readLength;  // bytes the volume hands out
    MftIndexStatus status;
    VolumeFormat format;
  } cases[] = {
      {"FAT32", SectorOf("MSWIN4.1", 0x52, "FAT32   "), 4096, MftIndexStatus::kNotNtfs,
       VolumeFormat::kFat},
      {"exFAT", SectorOf("EXFAT   "), 4096, MftIndexStatus::kNotNtfs, VolumeFormat::kExFat},
      {"ReFS", refs, 4096, MftIndexStatus::kNotNtfs, VolumeFormat::kReFs},
      {"BitLocker", SectorOf("-FVE-FS-"), 4096, MftIndexStatus::kNotNtfs, VolumeFormat::kBitLocker},
      {"zeros", std::vector<unsigned char>(512, 0), 4096, MftIndexStatus::kNotNtfs,
       VolumeFormat::kUnknown},
      {"NTFS with a bad geometry", badNtfs, 4096, MftIndexStatus::kBadBootSector,
       VolumeFormat::kNtfs},
      {"NTFS whose $MFT cannot be read", NtfsBootSector(), 4096, MftIndexStatus::kMftUnreadable,
       VolumeFormat::kNtfs},
      {"a volume that reads nothing", NtfsBootSector(), 0, MftIndexStatus::kBootUnreadable,
       VolumeFormat::kUnknown},
      {"a volume that reads 511 bytes", NtfsBootSector(), 511, MftIndexStatus::kBootUnreadable,
       VolumeFormat::kUnknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> volume(4096, 0);
    std::memcpy(volume.data(), c.sector.data(), c.sector.size());
    size_t reads = 0;
    const VolumeReadAt readAt = [&](uint64_t offset, unsigned char* buffer, size_t length) {
      ++reads;
      if (offset >= c.readLength) return size_t{0};
      const size_t count = std::min<size_t>(length, c.readLength - offset);
      std::memcpy(buffer, volume.data() + offset, count);
      return count;
    };
    MftStreamIndex index;
    const MftIndexResult result = BuildMftStreamIndex(readAt, {}, &index);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.format, c.format);
    EXPECT_TRUE(index.Files().empty());
    EXPECT_EQ(index.FindRecord(5, nullptr), MftLookup::kUnknown);
    EXPECT_GE(reads, 1u);
  }
}

}  // namespace
