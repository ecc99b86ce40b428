// An NTFS volume seen through a read-at callback: the boot sector, the map of
// $MFT's own clusters (bootstrapped from record 0, following its attribute
// list into extension records), and reads of master-file-table records in
// aligned pieces, as a raw volume handle on Windows requires.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "ntfs_boot_sector.h"
#include "ntfs_records.h"

namespace tarvex {

// Reads length bytes of the volume at offset into buffer and returns how many
// it read: fewer (0 included) at the end of the volume or on a failure. The
// reader calls it only with offset, length and buffer address all multiples of
// the volume's sector size; the first call, for the boot sector, reads
// kBootReadLength bytes at offset 0 into a buffer aligned to kBufferAlignment.
using VolumeReadAt = std::function<size_t(uint64_t offset, unsigned char* buffer, size_t length)>;

// Alignment of every buffer the reader hands to VolumeReadAt.
constexpr size_t kBufferAlignment = 4096;

// A zero-filled byte buffer whose start is aligned to kBufferAlignment.
class AlignedBuffer {
 public:
  explicit AlignedBuffer(size_t length = 0) { Resize(length); }
  void Resize(size_t length);  // the contents are not kept
  unsigned char* Data() { return storage_.data() + shift_; }
  const unsigned char* Data() const { return storage_.data() + shift_; }
  size_t Length() const { return length_; }

 private:
  std::vector<unsigned char> storage_;
  size_t shift_ = 0;
  size_t length_ = 0;
};

enum class MftOpenStatus {
  kOpened,
  kBootUnreadable,  // the boot sector could not be read
  kNotNtfs,         // another format (Format() tells which) or none
  kBadBootSector,   // NTFS signature, but a geometry out of range
  kMftUnreadable,   // record 0 (and its mirror copy) or $MFT's runs unusable
};

// $MFT larger than this many records is refused (NTFS itself stops at 2^32).
constexpr uint64_t kMftMaxRecordCount = 1ull << 32;
// An $ATTRIBUTE_LIST is at most 256 KiB.
constexpr uint64_t kAttributeListMaxLength = 256u << 10;

class MftVolume {
 public:
  explicit MftVolume(VolumeReadAt readAt) : readAt_(std::move(readAt)) {}

  // Reads the boot sector and builds the map of $MFT. Record 0 is taken from
  // $MFT and, when that copy is torn or unusable, from $MFTMirr.
  MftOpenStatus Open();

  VolumeFormat Format() const { return format_; }
  const NtfsGeometry& Geometry() const { return geometry_; }
  uint64_t RecordCount() const { return recordCount_; }
  uint16_t MftSequenceNumber() const { return mftSequenceNumber_; }
  bool UsedMirror() const { return usedMirror_; }
  // $MFT's runs in VCN order: contiguous from VCN 0, none sparse, none
  // overlapping another, all inside the volume.
  const std::vector<DataRun>& MftRuns() const { return runs_; }

  // Reads records [firstRecord, firstRecord + recordCount) as they lie on disk
  // (fixups not applied) into buffer, which holds recordCount records and is
  // aligned to kBufferAlignment. The span is read with as few calls as its
  // runs allow; when one of them fails, the span is read again record by
  // record, so a bad spot costs only its own records. readable[i] tells
  // whether record firstRecord + i came in whole.
  void ReadRecordSpan(uint64_t firstRecord, size_t recordCount, unsigned char* buffer,
                      std::vector<unsigned char>* readable);

  // One record with its fixups applied. False when it cannot be read or is torn.
  bool ReadRecord(uint64_t recordNumber, std::vector<unsigned char>* record);

  // The first length bytes of a non-resident attribute with these runs (sparse
  // runs read as zeros). False when a run lies outside the volume or a read fails.
  bool ReadAttributeBytes(const std::vector<DataRun>& runs, uint64_t length,
                          std::vector<unsigned char>* bytes);

 private:
  bool LoadMftMap(uint64_t recordZeroCluster);
  bool ReadMftBytes(uint64_t mftOffset, size_t length, unsigned char* buffer);
  bool ReadMftRecordWithRuns(uint64_t recordNumber, AlignedBuffer* buffer);

  VolumeReadAt readAt_;
  VolumeFormat format_ = VolumeFormat::kUnknown;
  NtfsGeometry geometry_;
  std::vector<DataRun> runs_;
  uint64_t recordCount_ = 0;
  uint16_t mftSequenceNumber_ = 0;
  bool usedMirror_ = false;
  AlignedBuffer scratch_;
};

}  // namespace tarvex
