// The records of a folder listing by handle (FILE_ID_BOTH_DIR_INFO), built
// by the test as the system lays them out.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scanners/logic/directory_records.h"

using namespace tarvex;

namespace {

void PutLe(std::vector<unsigned char>& buffer, size_t offset, uint64_t value, size_t byteCount) {
  for (size_t i = 0; i < byteCount; ++i) {
    buffer[offset + i] = static_cast<unsigned char>(value >> (8 * i));
  }
}

// Appends one record at an 8-byte boundary; returns its offset.
size_t AppendRecord(std::vector<unsigned char>& buffer, const std::u16string& name,
                    uint32_t attributes, uint64_t fileId) {
  const size_t offset = (buffer.size() + 7) & ~size_t{7};
  buffer.resize(offset + kDirectoryRecordNameOffset + 2 * name.size(), 0xCC);
  std::memset(buffer.data() + offset, 0, kDirectoryRecordNameOffset);
  PutLe(buffer, offset + kDirectoryRecordAttributesOffset, attributes, 4);
  PutLe(buffer, offset + kDirectoryRecordNameLengthOffset, 2 * name.size(), 4);
  PutLe(buffer, offset + kDirectoryRecordFileIdOffset, fileId, 8);
  for (size_t i = 0; i < name.size(); ++i) {
    PutLe(buffer, offset + kDirectoryRecordNameOffset + 2 * i, name[i], 2);
  }
  return offset;
}

// Links each record to the next (the last keeps 0).
void Link(std::vector<unsigned char>& buffer, const std::vector<size_t>& offsets) {
  for (size_t i = 0; i + 1 < offsets.size(); ++i) {
    PutLe(buffer, offsets[i], offsets[i + 1] - offsets[i], 4);
  }
}

std::vector<DirectoryRecord> ReadAll(const std::vector<unsigned char>& buffer, size_t length) {
  std::vector<DirectoryRecord> records;
  ReadDirectoryRecords(buffer.data(), length, [&](const DirectoryRecord& record) {
    records.push_back(record);
    return true;
  });
  return records;
}

TEST(DirectoryRecords, NamesAttributesAndFileIdsInListingOrder) {
  std::vector<unsigned char> buffer;
  std::vector<size_t> offsets;
  offsets.push_back(AppendRecord(buffer, u".", 0x10, 0x0005000000000005ull));
  offsets.push_back(AppendRecord(buffer, u"trailing. ", 0x20, 0x0003000000000040ull));
  offsets.push_back(AppendRecord(buffer, u"\u0436\U0001F600", 0x410, 77));
  offsets.push_back(AppendRecord(buffer, u"", 0x20, 78));
  Link(buffer, offsets);
  const std::vector<DirectoryRecord> records = ReadAll(buffer, buffer.size());
  ASSERT_EQ(4u, records.size());
  EXPECT_EQ(u".", records[0].name);
  EXPECT_EQ(0x0005000000000005ull, records[0].fileId);
  EXPECT_EQ(u"trailing. ", records[1].name);
  EXPECT_EQ(0x20u, records[1].attributes);
  EXPECT_EQ(0x0003000000000040ull, records[1].fileId);
  EXPECT_EQ(u"\u0436\U0001F600", records[2].name);
  EXPECT_EQ(0x410u, records[2].attributes);
  EXPECT_EQ(u"", records[3].name);
}

TEST(DirectoryRecords, NothingIsReadPastTheBuffer) {
  std::vector<unsigned char> buffer;
  const size_t first = AppendRecord(buffer, u"first", 0x20, 1);
  const size_t second = AppendRecord(buffer, u"second", 0x20, 2);
  Link(buffer, {first, second});
  struct Case {
    const char* what;
    size_t length;
    size_t records;
  } cases[] = {
      {"whole", buffer.size(), 2},
      {"second name cut", buffer.size() - 1, 1},
      {"second header cut", second + kDirectoryRecordNameOffset - 1, 1},
      {"first name cut", first + kDirectoryRecordNameOffset + 3, 0},
      {"empty", 0, 0},
  };
  for (const Case& c : cases) {
    // A copy of exactly the given length, so a read past it is seen by ASan.
    std::vector<unsigned char> cut(buffer.begin(), buffer.begin() + c.length);
    EXPECT_EQ(c.records, ReadAll(cut, cut.size()).size()) << c.what;
  }

  // A next offset beyond the end, or one that does not move on, ends the walk.
  std::vector<unsigned char> lying = buffer;
  PutLe(lying, first, lying.size() + 8, 4);
  EXPECT_EQ(1u, ReadAll(lying, lying.size()).size());
  PutLe(lying, first, 0xFFFFFFFFull, 4);
  EXPECT_EQ(1u, ReadAll(lying, lying.size()).size());
  // A name length that would run past the end.
  std::vector<unsigned char> longName = buffer;
  PutLe(longName, second + kDirectoryRecordNameLengthOffset, 0xFFFFFFF0ull, 4);
  EXPECT_EQ(1u, ReadAll(longName, longName.size()).size());
}

TEST(DirectoryRecords, TheCallbackStopsTheWalk) {
  std::vector<unsigned char> buffer;
  const size_t first = AppendRecord(buffer, u"a", 0x20, 1);
  const size_t second = AppendRecord(buffer, u"b", 0x20, 2);
  Link(buffer, {first, second});
  int calls = 0;
  EXPECT_FALSE(ReadDirectoryRecords(buffer.data(), buffer.size(), [&](const DirectoryRecord&) {
    ++calls;
    return false;
  }));
  EXPECT_EQ(1, calls);
}

}  // namespace
