// Image reader, record locator and ntfsinfo parser for the NTFS image tests.
#include "ntfs_test_images.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "scanners/logic/ntfs_records.h"

namespace ntfs_test {

std::string ImagesDir() {
  const char* fromEnvironment = std::getenv("TARVEX_NTFS_IMAGES");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
  return TARVEX_NTFS_IMAGES;
}

std::string ImagePath(const std::string& name) { return ImagesDir() + "/" + name + ".img"; }

std::string MissingReason(const std::string& name) {
  struct stat info;
  if (stat(ImagePath(name).c_str(), &info) == 0) return "";
  std::ifstream skipped(ImagesDir() + "/SKIPPED");
  std::string line;
  while (std::getline(skipped, line)) {
    if (line.rfind(name + ":", 0) == 0) return "SKIPPED: image " + line;
  }
  return "image " + ImagePath(name) +
         " is missing: the ctest fixture ntfs_images (tests/ntfs/make_images.sh) builds it";
}

ImageVolume::ImageVolume(const std::string& path) {
  fd_ = open(path.c_str(), O_RDONLY);
  if (fd_ < 0) {
    ADD_FAILURE() << "cannot open " << path;
    return;
  }
  struct stat info;
  if (fstat(fd_, &info) == 0) fileLength_ = static_cast<uint64_t>(info.st_size);
}

ImageVolume::~ImageVolume() {
  if (fd_ >= 0) close(fd_);
}

tarvex::VolumeReadAt ImageVolume::Reader() {
  return [this](uint64_t offset, unsigned char* buffer, size_t length) {
    return ReadAt(offset, buffer, length);
  };
}

size_t ImageVolume::ReadAt(uint64_t offset, unsigned char* buffer, size_t length) {
  const auto address = reinterpret_cast<uintptr_t>(buffer);
  const uint64_t alignment = readCount_ == 0 ? tarvex::kBootReadLength : sectorLength_;
  if (offset % alignment != 0 || length % alignment != 0 || address % alignment != 0) {
    ++misalignedReadCount_;
  }
  ++readCount_;
  readLength_ += length;
  for (const auto& range : failing_) {
    if (offset < range.first + range.second && range.first < offset + length) return 0;
  }
  const uint64_t end = std::min<uint64_t>(std::min(limitLength_, fileLength_), offset + length);
  if (offset >= end) return 0;
  const size_t wanted = static_cast<size_t>(end - offset);
  const ssize_t got = pread(fd_, buffer, wanted, static_cast<off_t>(offset));
  if (got < 0) return 0;
  for (auto it = patched_.lower_bound(offset); it != patched_.end() && it->first < offset + got;
       ++it) {
    buffer[it->first - offset] = it->second;
  }
  return static_cast<size_t>(got);
}

std::vector<unsigned char> ImageVolume::Bytes(uint64_t offset, size_t length) const {
  std::vector<unsigned char> bytes(length, 0);
  const ssize_t got = pread(fd_, bytes.data(), length, static_cast<off_t>(offset));
  EXPECT_EQ(got, static_cast<ssize_t>(length));
  for (auto it = patched_.lower_bound(offset); it != patched_.end() && it->first < offset + length;
       ++it) {
    bytes[it->first - offset] = it->second;
  }
  return bytes;
}

void ImageVolume::Patch(uint64_t offset, const std::vector<unsigned char>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) patched_[offset + i] = bytes[i];
}

void ImageVolume::PatchLe(uint64_t offset, uint64_t value, size_t byteCount) {
  std::vector<unsigned char> bytes(byteCount);
  for (size_t i = 0; i < byteCount; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  Patch(offset, bytes);
}

uint64_t RecordOffset(tarvex::MftVolume& volume, uint64_t recordNumber) {
  const auto& geometry = volume.Geometry();
  const uint64_t mftOffset = recordNumber * geometry.recordLength;
  const uint64_t vcn = mftOffset / geometry.clusterLength;
  for (const tarvex::DataRun& run : volume.MftRuns()) {
    if (vcn >= run.vcn && vcn < run.vcn + run.clusterCount) {
      return (run.lcn + vcn - run.vcn) * geometry.clusterLength +
             mftOffset % geometry.clusterLength;
    }
  }
  ADD_FAILURE() << "record " << recordNumber << " is not mapped";
  return 0;
}

size_t AttributeOffset(const std::vector<unsigned char>& record, uint32_t type,
                       const std::u16string& name, bool anyName) {
  size_t offset = tarvex::LoadLe16(record.data() + 20);
  while (offset + 16 <= record.size()) {
    const uint32_t attributeType = tarvex::LoadLe32(record.data() + offset);
    const uint32_t length = tarvex::LoadLe32(record.data() + offset + 4);
    if (attributeType == 0xFFFFFFFFu || length == 0) break;
    const size_t nameChars = record[offset + 9];
    const size_t nameOffset = tarvex::LoadLe16(record.data() + offset + 10);
    if (attributeType == type &&
        (anyName || tarvex::NameEquals(record.data() + offset + nameOffset, nameChars, name))) {
      return offset;
    }
    offset += length;
  }
  return 0;
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    uint32_t c = byte;
    size_t extra = 0;
    if (byte >= 0xF0) {
      c = byte & 0x07;
      extra = 3;
    } else if (byte >= 0xE0) {
      c = byte & 0x0F;
      extra = 2;
    } else if (byte >= 0xC0) {
      c = byte & 0x1F;
      extra = 1;
    }
    for (size_t k = 1; k <= extra && i + k < text.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += 1 + extra;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

namespace {

// "\tField:\t\t value (0x...)" -> value
uint64_t NumberAfterColon(const std::string& line) {
  const size_t colon = line.find(':');
  return std::strtoull(line.c_str() + colon + 1, nullptr, 0);
}

std::string ValueAfterColon(const std::string& line) {
  const size_t start = line.find_first_not_of(" \t", line.find(':') + 1);
  const size_t end = line.find_last_not_of(" \t");
  return start == std::string::npos ? std::string() : line.substr(start, end - start + 1);
}

std::string QuotedText(const std::string& line) {
  const size_t first = line.find('\'');
  const size_t last = line.rfind('\'');
  return first == std::string::npos || last <= first ? std::string()
                                                     : line.substr(first + 1, last - first - 1);
}

bool StartsWith(const std::string& text, const char* head) { return text.rfind(head, 0) == 0; }

struct Piece {
  uint64_t holderRecord = 0;
  uint64_t highestVcn = 0;
  std::string name;
  bool nonResident = false;
  uint16_t flags = 0;
  uint64_t lowestVcn = 0;
  uint64_t length = 0;
};

}  // namespace

std::map<uint64_t, OracleRecord> ReadOracle(const std::string& name) {
  std::map<uint64_t, OracleRecord> records;
  std::ifstream in(ImagesDir() + "/" + name + ".oracle");
  EXPECT_TRUE(in.good()) << "no oracle for " << name;
  std::string line;
  OracleRecord* record = nullptr;
  enum class Section { kNone, kFileName, kData, kList } section = Section::kNone;
  uint64_t parent = 0;
  std::string nameSpace;
  std::vector<Piece> pieces;
  auto finishRecord = [&]() {
    if (record == nullptr) return;
    for (const Piece& piece : pieces) {
      if (piece.name.empty()) {
        if (piece.nonResident) {
          record->unnamedDataPieces.push_back(
              {piece.holderRecord, piece.lowestVcn, piece.highestVcn});
        }
        continue;
      }
      auto same = std::find_if(record->streams.begin(), record->streams.end(),
                               [&](const OracleStream& s) { return s.name == piece.name; });
      if (same == record->streams.end()) {
        record->streams.push_back({piece.name, 0, piece.nonResident, 0});
        same = record->streams.end() - 1;
      }
      if (piece.lowestVcn == 0) {
        same->length = piece.length;
        same->nonResident = piece.nonResident;
        same->attributeFlags = piece.flags;
      }
    }
    pieces.clear();
  };
  while (std::getline(in, line)) {
    if (StartsWith(line, "### record ")) {
      finishRecord();
      record = &records[std::strtoull(line.c_str() + 11, nullptr, 10)];
      section = Section::kNone;
      continue;
    }
    if (record == nullptr) continue;
    if (StartsWith(line, "Dumping Inode ")) record->inUse = true;
    if (StartsWith(line, "MFT Record Seq. Numb.:")) {
      record->sequenceNumber = static_cast<uint16_t>(NumberAfterColon(line));
    }
    if (StartsWith(line, "MFT Record Flags:")) {
      record->isDirectory = line.find("DIRECTORY") != std::string::npos;
    }
    if (StartsWith(line, "Dumping attribute ")) {
      const size_t from = line.find("from mft record ");
      const uint64_t holder =
          from == std::string::npos ? 0 : std::strtoull(line.c_str() + from + 16, nullptr, 10);
      if (from != std::string::npos) record->holderRecords.insert(holder);
      if (line.find("$ATTRIBUTE_LIST") != std::string::npos) {
        record->hasAttributeList = true;
        section = Section::kList;
        continue;
      }
      section = line.find("$FILE_NAME") != std::string::npos ? Section::kFileName
                : line.find("$DATA") != std::string::npos    ? Section::kData
                                                             : Section::kNone;
      if (section == Section::kData) {
        pieces.push_back(Piece());
        pieces.back().holderRecord = holder;
      }
      continue;
    }
    // Fields of the attribute itself have one tab; index entries have more.
    if (line.size() < 2 || line[0] != '\t' || line[1] == '\t') continue;
    const std::string field = line.substr(1);
    if (section == Section::kFileName) {
      if (StartsWith(field, "Parent directory:")) parent = NumberAfterColon(field);
      if (StartsWith(field, "Namespace:")) nameSpace = ValueAfterColon(field);
      if (StartsWith(field, "Filename:") && nameSpace != "DOS") {
        record->links.push_back({parent, QuotedText(field)});
      }
    } else if (section == Section::kList) {
      if (StartsWith(field, "Data size:")) record->attributeListLength = NumberAfterColon(field);
    } else if (section == Section::kData) {
      Piece& piece = pieces.back();
      if (StartsWith(field, "Attribute name:")) piece.name = QuotedText(field);
      if (StartsWith(field, "Resident:")) piece.nonResident = field.find("No") != std::string::npos;
      if (StartsWith(field, "Attribute flags:")) {
        piece.flags = static_cast<uint16_t>(NumberAfterColon(field));
      }
      if (StartsWith(field, "Lowest VCN")) {
        piece.lowestVcn = std::strtoull(field.c_str() + 10, nullptr, 0);
      }
      if (StartsWith(field, "Highest VCN:")) piece.highestVcn = NumberAfterColon(field);
      if (StartsWith(field, "Data size:")) piece.length = NumberAfterColon(field);
    }
  }
  finishRecord();
  return records;
}

std::vector<uint64_t> FactRecords(const std::string& name, const std::string& kind) {
  std::vector<uint64_t> numbers;
  std::ifstream in(ImagesDir() + "/" + name + ".facts");
  std::string word;
  uint64_t number = 0;
  while (in >> word >> number) {
    if (word == kind) numbers.push_back(number);
  }
  return numbers;
}

}  // namespace ntfs_test
