// Bounds-checked reading of master-file-table records.
#include "ntfs_records.h"

#include <cstring>

namespace tarvex {
namespace {

constexpr size_t kRecordHeaderMinLength = 42;  // up to the next-attribute-id field
constexpr size_t kResidentHeaderLength = 24;
constexpr size_t kNonResidentHeaderLength = 64;
constexpr size_t kFileNameNameOffset = 66;
constexpr size_t kAttributeListEntryMinLength = 26;
constexpr uint64_t kMaxVcn = 1ull << 62;

}  // namespace

bool ApplyRecordFixups(unsigned char* record, size_t recordLength) {
  if (recordLength < kFixupBlockLength || recordLength % kFixupBlockLength != 0) return false;
  const size_t blockCount = recordLength / kFixupBlockLength;
  const size_t arrayOffset = LoadLe16(record + 4);
  const size_t arrayCount = LoadLe16(record + 6);
  // The array holds the sequence number and one saved pair per block, and must
  // lie in the first block ahead of that block's own protected pair.
  if (arrayCount != blockCount + 1 || (arrayOffset & 1) != 0 || arrayOffset < 8 ||
      arrayOffset + 2 * arrayCount > kFixupBlockLength - 2) {
    return false;
  }
  const unsigned char* sequence = record + arrayOffset;
  for (size_t block = 1; block <= blockCount; ++block) {
    const unsigned char* end = record + block * kFixupBlockLength - 2;
    if (end[0] != sequence[0] || end[1] != sequence[1]) return false;
  }
  for (size_t block = 1; block <= blockCount; ++block) {
    unsigned char* end = record + block * kFixupBlockLength - 2;
    end[0] = sequence[2 * block];
    end[1] = sequence[2 * block + 1];
  }
  return true;
}

bool ReadRecordHeader(const unsigned char* record, size_t recordLength, RecordHeader* header) {
  if (recordLength < kFixupBlockLength || std::memcmp(record, "FILE", 4) != 0) return false;
  RecordHeader read;
  const uint16_t arrayOffset = LoadLe16(record + 4);
  const uint16_t arrayCount = LoadLe16(record + 6);
  read.sequenceNumber = LoadLe16(record + 16);
  read.linkCount = LoadLe16(record + 18);
  read.firstAttributeOffset = LoadLe16(record + 20);
  read.flags = LoadLe16(record + 22);
  read.usedLength = LoadLe32(record + 24);
  read.baseReference = LoadLe64(record + 32);
  read.hasRecordNumber = arrayOffset >= 48;
  if (read.hasRecordNumber) read.recordNumber = LoadLe32(record + 44);
  if (read.usedLength > recordLength) return false;
  if (read.firstAttributeOffset < kRecordHeaderMinLength ||
      read.firstAttributeOffset < static_cast<size_t>(arrayOffset) + 2u * arrayCount ||
      static_cast<size_t>(read.firstAttributeOffset) + 4 > read.usedLength) {
    return false;
  }
  *header = read;
  return true;
}

AttributeWalk::AttributeWalk(const unsigned char* record, const RecordHeader& header)
    : record_(record), offset_(header.firstAttributeOffset), end_(header.usedLength) {}

bool AttributeWalk::Next(AttributeView* attribute) {
  if (done_ || malformed_) return false;
  if (end_ < 4 || offset_ > end_ - 4) {  // no end marker within the used bytes
    malformed_ = true;
    return false;
  }
  const unsigned char* at = record_ + offset_;
  const uint32_t type = LoadLe32(at);
  if (type == kEndOfAttributes) {
    done_ = true;
    return false;
  }
  const size_t room = end_ - offset_;
  if (room < 16) {
    malformed_ = true;
    return false;
  }
  AttributeView view;
  view.type = type;
  view.length = LoadLe32(at + 4);
  const uint8_t form = at[8];
  view.nameChars = at[9];
  const size_t nameOffset = LoadLe16(at + 10);
  view.flags = LoadLe16(at + 12);
  const size_t headerLength = form == 0 ? kResidentHeaderLength : kNonResidentHeaderLength;
  if (form > 1 || view.length < headerLength || view.length > room ||
      (view.nameChars != 0 && nameOffset + 2u * view.nameChars > view.length)) {
    malformed_ = true;
    return false;
  }
  view.nonResident = form == 1;
  view.name = at + nameOffset;
  if (!view.nonResident) {
    view.valueLength = LoadLe32(at + 16);
    const size_t valueOffset = LoadLe16(at + 20);
    if (valueOffset > view.length || view.valueLength > view.length - valueOffset) {
      malformed_ = true;
      return false;
    }
    view.value = at + valueOffset;
  } else {
    view.lowestVcn = LoadLe64(at + 16);
    view.highestVcn = LoadLe64(at + 24);
    const size_t runsOffset = LoadLe16(at + 32);
    view.allocatedLength = LoadLe64(at + 40);
    view.dataLength = LoadLe64(at + 48);
    view.initializedLength = LoadLe64(at + 56);
    if (runsOffset < kNonResidentHeaderLength || runsOffset > view.length) {
      malformed_ = true;
      return false;
    }
    view.runs = at + runsOffset;
    view.runsLength = view.length - runsOffset;
  }
  offset_ += view.length;
  *attribute = view;
  return true;
}

bool ReadFileName(const AttributeView& attribute, FileNameView* fileName) {
  if (attribute.nonResident || attribute.valueLength < kFileNameNameOffset) return false;
  const unsigned char* value = attribute.value;
  FileNameView read;
  read.parentReference = LoadLe64(value);
  read.fileAttributes = LoadLe32(value + 56);
  read.nameChars = value[64];
  read.nameSpace = value[65];
  read.name = value + kFileNameNameOffset;
  if (kFileNameNameOffset + 2u * read.nameChars > attribute.valueLength) return false;
  *fileName = read;
  return true;
}

bool AttributeListWalk::Next(AttributeListEntry* entry) {
  if (malformed_ || offset_ >= length_) return false;
  const size_t room = length_ - offset_;
  const unsigned char* at = list_ + offset_;
  if (room < kAttributeListEntryMinLength) {
    malformed_ = true;
    return false;
  }
  const size_t entryLength = LoadLe16(at + 4);
  AttributeListEntry read;
  read.type = LoadLe32(at);
  read.nameChars = at[6];
  const size_t nameOffset = at[7];
  read.lowestVcn = LoadLe64(at + 8);
  read.segmentReference = LoadLe64(at + 16);
  read.name = at + nameOffset;
  if (entryLength < kAttributeListEntryMinLength || entryLength > room ||
      (read.nameChars != 0 && (nameOffset < kAttributeListEntryMinLength ||
                               nameOffset + 2u * read.nameChars > entryLength))) {
    malformed_ = true;
    return false;
  }
  offset_ += entryLength;
  *entry = read;
  return true;
}

bool DecodeDataRuns(const AttributeView& attribute, std::vector<DataRun>* runs) {
  if (!attribute.nonResident || attribute.lowestVcn > kMaxVcn) return false;
  const unsigned char* pairs = attribute.runs;
  const size_t pairsLength = attribute.runsLength;
  const size_t firstNew = runs->size();
  uint64_t vcn = attribute.lowestVcn;
  int64_t lcn = 0;
  size_t at = 0;
  bool ok = true;
  while (at < pairsLength && pairs[at] != 0) {
    const unsigned lengthBytes = pairs[at] & 0x0F;
    const unsigned offsetBytes = pairs[at] >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8 ||
        pairsLength - at - 1 < lengthBytes + offsetBytes) {
      ok = false;
      break;
    }
    const unsigned char* field = pairs + at + 1;
    uint64_t count = 0;
    for (unsigned i = 0; i < lengthBytes; ++i) count |= static_cast<uint64_t>(field[i]) << (8 * i);
    if (count == 0 || count > kMaxVcn - vcn) {
      ok = false;
      break;
    }
    DataRun run;
    run.vcn = vcn;
    run.clusterCount = count;
    if (offsetBytes == 0) {
      run.sparse = true;
    } else {
      uint64_t raw = 0;
      for (unsigned i = 0; i < offsetBytes; ++i) {
        raw |= static_cast<uint64_t>(field[lengthBytes + i]) << (8 * i);
      }
      if (offsetBytes < 8 && (raw >> (8 * offsetBytes - 1)) != 0) {
        raw |= ~0ull << (8 * offsetBytes);  // sign extension
      }
      const int64_t delta = static_cast<int64_t>(raw);
      if ((delta > 0 && lcn > INT64_MAX - delta) || lcn + delta < 0) {
        ok = false;
        break;
      }
      lcn += delta;
      run.lcn = static_cast<uint64_t>(lcn);
    }
    runs->push_back(run);
    vcn += count;
    at += 1 + lengthBytes + offsetBytes;
  }
  // An empty piece has highest VCN -1, so its end is VCN 0 after wrap-around.
  if (ok && vcn != attribute.highestVcn + 1) ok = false;
  if (!ok) runs->resize(firstNew);
  return ok;
}

std::u16string NameFromLe(const unsigned char* name, size_t nameChars) {
  std::u16string text(nameChars, u'\0');
  for (size_t i = 0; i < nameChars; ++i) text[i] = static_cast<char16_t>(LoadLe16(name + 2 * i));
  return text;
}

bool NameEquals(const unsigned char* nameLe, size_t nameChars, const std::u16string& name) {
  if (name.size() != nameChars) return false;
  for (size_t i = 0; i < nameChars; ++i) {
    if (static_cast<char16_t>(LoadLe16(nameLe + 2 * i)) != name[i]) return false;
  }
  return true;
}

}  // namespace tarvex
