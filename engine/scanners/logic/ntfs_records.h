// The on-disk layout of NTFS master-file-table records: update-sequence
// fixups, the record header, the attribute walk, $FILE_NAME values,
// $ATTRIBUTE_LIST entries and data runs. Every function checks each offset and
// length against the bytes it is given and reports malformed input instead of
// reading past it; views point into the caller's record bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvex {

// Little-endian reads at any alignment.
inline uint16_t LoadLe16(const unsigned char* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}
inline uint32_t LoadLe32(const unsigned char* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}
inline uint64_t LoadLe64(const unsigned char* at) {
  return static_cast<uint64_t>(LoadLe32(at)) | (static_cast<uint64_t>(LoadLe32(at + 4)) << 32);
}

// A file reference: the record number in the low 48 bits, the record's
// sequence number in the high 16 (the 64-bit file id Windows reports on NTFS).
inline uint64_t RecordNumberOf(uint64_t fileReference) { return fileReference & 0xFFFFFFFFFFFFull; }
inline uint16_t SequenceNumberOf(uint64_t fileReference) {
  return static_cast<uint16_t>(fileReference >> 48);
}
inline uint64_t MakeFileReference(uint64_t recordNumber, uint16_t sequenceNumber) {
  return RecordNumberOf(recordNumber) | (static_cast<uint64_t>(sequenceNumber) << 48);
}

// Multi-sector protection works in 512-byte blocks whatever the sector size.
constexpr uint32_t kFixupBlockLength = 512;

// Well-known records.
constexpr uint64_t kMftRecord = 0;
constexpr uint64_t kRootFolderRecord = 5;
constexpr uint64_t kExtendRecord = 11;
constexpr uint64_t kFirstUserRecord = 16;

enum : uint32_t {
  kAttributeList = 0x20,
  kFileNameAttribute = 0x30,
  kDataAttribute = 0x80,
  kEndOfAttributes = 0xFFFFFFFFu,
};

// $FILE_NAME namespaces: only the DOS one (8.3 alias of another name) is no path.
constexpr uint8_t kDosNamespace = 2;

// Attribute header flags.
constexpr uint16_t kAttributeCompressedMask = 0x00FF;
constexpr uint16_t kAttributeEncrypted = 0x4000;
constexpr uint16_t kAttributeSparse = 0x8000;

// Checks the update sequence of one record and puts the saved bytes back at
// the end of each 512-byte block. Returns false, with the record unchanged,
// when the record is torn (a block end does not hold the sequence number) or
// its update-sequence array does not fit the record.
bool ApplyRecordFixups(unsigned char* record, size_t recordLength);

struct RecordHeader {
  uint16_t sequenceNumber = 0;
  uint16_t linkCount = 0;
  uint16_t flags = 0;
  uint16_t firstAttributeOffset = 0;
  uint32_t usedLength = 0;       // bytes of the record in use (attributes and end marker)
  uint64_t baseReference = 0;    // 0 in a base record; the base's file reference in an extension
  bool hasRecordNumber = false;  // written since NTFS 3.1 (Windows XP)
  uint32_t recordNumber = 0;     // low 32 bits of the record's own number, when present

  bool InUse() const { return (flags & 0x0001) != 0; }
  bool IsDirectory() const { return (flags & 0x0002) != 0; }
};

// Reads the header of a record whose fixups were applied. Returns false when
// the record does not start with "FILE" or its offsets do not fit the record.
bool ReadRecordHeader(const unsigned char* record, size_t recordLength, RecordHeader* header);

struct AttributeView {
  uint32_t type = 0;
  uint32_t length = 0;
  bool nonResident = false;
  uint16_t flags = 0;
  const unsigned char* name = nullptr;  // UTF-16LE, nameChars code units
  uint8_t nameChars = 0;
  // Resident attributes.
  const unsigned char* value = nullptr;
  uint32_t valueLength = 0;
  // Non-resident attributes.
  uint64_t lowestVcn = 0;
  uint64_t highestVcn = 0;
  const unsigned char* runs = nullptr;
  size_t runsLength = 0;
  uint64_t allocatedLength = 0;
  uint64_t dataLength = 0;
  uint64_t initializedLength = 0;
};

// Walks the attributes of a record in order. Next fails at the end marker, at
// the end of the used bytes, or at an attribute whose header, name, value or
// runs do not fit the record; Malformed tells the last case apart.
class AttributeWalk {
 public:
  AttributeWalk(const unsigned char* record, const RecordHeader& header);
  bool Next(AttributeView* attribute);
  bool Malformed() const { return malformed_; }

 private:
  const unsigned char* record_;
  size_t offset_;
  size_t end_;
  bool malformed_ = false;
  bool done_ = false;
};

struct FileNameView {
  uint64_t parentReference = 0;
  uint32_t fileAttributes = 0;
  uint8_t nameSpace = 0;
  const unsigned char* name = nullptr;  // UTF-16LE
  uint8_t nameChars = 0;
};

// The value of a resident $FILE_NAME attribute. False when it is non-resident
// or too short for its name.
bool ReadFileName(const AttributeView& attribute, FileNameView* fileName);

struct AttributeListEntry {
  uint32_t type = 0;
  uint64_t lowestVcn = 0;
  uint64_t segmentReference = 0;  // the record that holds the attribute
  const unsigned char* name = nullptr;
  uint8_t nameChars = 0;
};

// Walks the entries of an $ATTRIBUTE_LIST value. Next fails at the end of the
// value or at an entry that does not fit it (Malformed).
class AttributeListWalk {
 public:
  AttributeListWalk(const unsigned char* list, size_t listLength)
      : list_(list), length_(listLength) {}
  bool Next(AttributeListEntry* entry);
  bool Malformed() const { return malformed_; }

 private:
  const unsigned char* list_;
  size_t length_;
  size_t offset_ = 0;
  bool malformed_ = false;
};

struct DataRun {
  uint64_t vcn = 0;
  uint64_t lcn = 0;  // meaningless when sparse
  uint64_t clusterCount = 0;
  bool sparse = false;
};

// Decodes the mapping pairs of one non-resident attribute piece, which starts
// at its lowest VCN, and appends its runs. Returns false, leaving *runs
// unchanged, when the pairs overrun their bytes, a run is empty, a cluster
// number leaves the signed 64-bit range or goes below 0, or the runs do not
// end right after the piece's highest VCN.
bool DecodeDataRuns(const AttributeView& attribute, std::vector<DataRun>* runs);

// UTF-16LE code units to a string.
std::u16string NameFromLe(const unsigned char* name, size_t nameChars);
bool NameEquals(const unsigned char* nameLe, size_t nameChars, const std::u16string& name);

}  // namespace tarvex
