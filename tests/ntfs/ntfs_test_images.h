// The NTFS images that tests/ntfs/make_images.sh builds with ntfs-3g, a volume
// reader over them that can patch, cut and fail bytes and checks the
// alignment of every read, and ntfsinfo's account of their records.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "scanners/logic/mft_volume.h"

namespace ntfs_test {

// The folder the images are built in (TARVEX_NTFS_IMAGES in the environment
// wins over the one the build names).
std::string ImagesDir();
std::string ImagePath(const std::string& name);

// Why an image is missing (the fixture leaves out the images that need a FUSE
// mount where it cannot mount), or "" when it is there.
std::string MissingReason(const std::string& name);

// Skips the calling test loudly when the fixture could not build the image,
// and fails it when the image is missing for any other reason.
#define NTFS_REQUIRE_IMAGE(name)                                   \
  do {                                                             \
    const std::string reason_ = ::ntfs_test::MissingReason(name);  \
    if (reason_.rfind("SKIPPED", 0) == 0) GTEST_SKIP() << reason_; \
    if (!reason_.empty()) FAIL() << reason_;                       \
  } while (0)

// Reads an image file with pread. Patches overlay the file's bytes; reads past
// limitLength come up short; reads touching a failing range return nothing.
// Every call is checked against the alignment the reader promises.
class ImageVolume {
 public:
  explicit ImageVolume(const std::string& path);
  ~ImageVolume();
  ImageVolume(const ImageVolume&) = delete;
  ImageVolume& operator=(const ImageVolume&) = delete;

  tarvex::VolumeReadAt Reader();
  uint64_t FileLength() const { return fileLength_; }

  // The bytes as the reader would see them now (patches applied).
  std::vector<unsigned char> Bytes(uint64_t offset, size_t length) const;
  void Patch(uint64_t offset, const std::vector<unsigned char>& bytes);
  void PatchLe(uint64_t offset, uint64_t value, size_t byteCount);
  void LimitLength(uint64_t length) { limitLength_ = length; }
  void FailRange(uint64_t offset, uint64_t length) { failing_.push_back({offset, length}); }

  // The sector size every read after the first must be aligned to.
  void ExpectSectorAlignment(uint32_t sectorLength) { sectorLength_ = sectorLength; }
  size_t ReadCount() const { return readCount_; }
  uint64_t ReadLength() const { return readLength_; }  // bytes asked for, all calls
  size_t MisalignedReadCount() const { return misalignedReadCount_; }

 private:
  size_t ReadAt(uint64_t offset, unsigned char* buffer, size_t length);

  int fd_ = -1;
  uint64_t fileLength_ = 0;
  uint64_t limitLength_ = UINT64_MAX;
  std::map<uint64_t, unsigned char> patched_;
  std::vector<std::pair<uint64_t, uint64_t>> failing_;
  uint32_t sectorLength_ = 512;
  size_t readCount_ = 0;
  uint64_t readLength_ = 0;
  size_t misalignedReadCount_ = 0;
};

// Where record n of an image's $MFT lies on the volume, from the boot sector
// and record 0's runs as the reader maps them.
uint64_t RecordOffset(tarvex::MftVolume& volume, uint64_t recordNumber);

// Offset inside a record (fixups applied) of its first attribute of this type
// (and name, when given), or 0.
size_t AttributeOffset(const std::vector<unsigned char>& record, uint32_t type,
                       const std::u16string& name = u"", bool anyName = true);

std::string Utf8(const std::u16string& text);
std::u16string Utf16(const std::string& text);

// ntfsinfo's account of one record.
struct OracleStream {
  std::string name;
  uint64_t length = 0;
  bool nonResident = false;
  uint16_t attributeFlags = 0;
};
struct OraclePiece {  // one piece of the unnamed $DATA
  uint64_t holderRecord = 0;
  uint64_t lowestVcn = 0;
  uint64_t highestVcn = 0;
};
struct OracleRecord {
  bool inUse = false;
  uint16_t sequenceNumber = 0;
  bool isDirectory = false;
  std::vector<std::pair<uint64_t, std::string>> links;  // parent record, name (DOS names left out)
  std::vector<OracleStream> streams;                    // named $DATA, one per stream
  std::vector<OraclePiece> unnamedDataPieces;
  std::set<uint64_t> holderRecords;  // the records its attributes were dumped from
  bool hasAttributeList = false;
  uint64_t attributeListLength = 0;
};
// Every record the fixture dumped, by record number.
std::map<uint64_t, OracleRecord> ReadOracle(const std::string& name);
// "deleted N" and "no-streams N" lines of the image's facts file.
std::vector<uint64_t> FactRecords(const std::string& name, const std::string& kind);

}  // namespace ntfs_test
