// Record layout pieces on bytes built here: update-sequence fixups, data runs
// and attribute-list entries, with their bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scanners/logic/ntfs_records.h"

using namespace tarvex;

namespace {

// A record of recordLength bytes protected by an update sequence: the array
// at 0x30 holds the sequence number and each block's saved last two bytes.
std::vector<unsigned char> ProtectedRecord(size_t recordLength, uint16_t sequence) {
  std::vector<unsigned char> record(recordLength, 0);
  record[0] = 'F';
  record[1] = 'I';
  record[2] = 'L';
  record[3] = 'E';
  const size_t blocks = recordLength / 512;
  record[4] = 0x30;
  record[6] = static_cast<unsigned char>(blocks + 1);
  record[0x30] = static_cast<unsigned char>(sequence);
  record[0x31] = static_cast<unsigned char>(sequence >> 8);
  for (size_t block = 1; block <= blocks; ++block) {
    const size_t end = block * 512 - 2;
    record[0x30 + 2 * block] = static_cast<unsigned char>(block);  // saved bytes
    record[0x31 + 2 * block] = 0xA0;
    record[end] = static_cast<unsigned char>(sequence);
    record[end + 1] = static_cast<unsigned char>(sequence >> 8);
  }
  return record;
}

TEST(RecordFixups, EveryFiveHundredTwelveBytesWhateverTheRecordLength) {
  for (size_t recordLength : {size_t{512}, size_t{1024}, size_t{4096}, size_t{65536}}) {
    SCOPED_TRACE(recordLength);
    if (recordLength / 512 + 1 > (510 - 0x30) / 2) continue;  // array would not fit the first block
    std::vector<unsigned char> record = ProtectedRecord(recordLength, 0x1234);
    ASSERT_TRUE(ApplyRecordFixups(record.data(), record.size()));
    for (size_t block = 1; block <= recordLength / 512; ++block) {
      EXPECT_EQ(record[block * 512 - 2], block);
      EXPECT_EQ(record[block * 512 - 1], 0xA0);
    }
  }
}

TEST(RecordFixups, TornOrMalformedRecordsAreLeftUnchanged) {
  struct Case {
    const char* what;
    size_t recordLength;
    size_t at;
    unsigned char value;
  } cases[] = {
      {"torn first block", 1024, 510, 0x99},
      {"torn last block", 4096, 4094, 0x99},
      {"torn middle block", 4096, 2046, 0x99},
      {"count too small for the record", 4096, 6, 8},
      {"count too large for the record", 1024, 6, 4},
      {"odd array offset", 1024, 4, 0x31},
      {"array offset inside the header", 1024, 4, 0x04},
      {"array past the first block", 1024, 4, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> record = ProtectedRecord(c.recordLength, 0x0707);
    record[c.at] = c.value;
    if (c.at == 4 && c.value == 0xFF) record[5] = 0x01;  // offset 0x1FF
    const std::vector<unsigned char> before = record;
    EXPECT_FALSE(ApplyRecordFixups(record.data(), record.size()));
    EXPECT_EQ(record, before);
  }
  std::vector<unsigned char> odd = ProtectedRecord(1024, 1);
  EXPECT_FALSE(ApplyRecordFixups(odd.data(), 1000));
  EXPECT_FALSE(ApplyRecordFixups(odd.data(), 256));
}

AttributeView Piece(const std::vector<unsigned char>& pairs, uint64_t lowestVcn,
                    uint64_t highestVcn) {
  AttributeView view;
  view.nonResident = true;
  view.runs = pairs.data();
  view.runsLength = pairs.size();
  view.lowestVcn = lowestVcn;
  view.highestVcn = highestVcn;
  return view;
}

TEST(DataRuns, MappingPairsDecode) {
  struct Run {
    uint64_t vcn, lcn, clusterCount;
    bool sparse;
  };
  struct Case {
    const char* what;
    std::vector<unsigned char> pairs;
    uint64_t lowestVcn, highestVcn;
    std::vector<Run> runs;
  } cases[] = {
      {"one run", {0x11, 0x04, 0x10, 0x00}, 0, 3, {{0, 16, 4, false}}},
      {"a backward second run",
       {0x21, 0x10, 0x00, 0x01, 0x11, 0x08, 0xF0, 0x00},
       0,
       23,
       {{0, 256, 16, false}, {16, 240, 8, false}}},
      {"a sparse run between two",
       {0x11, 0x02, 0x20, 0x01, 0x03, 0x11, 0x01, 0x02, 0x00},
       0,
       5,
       {{0, 32, 2, false}, {2, 0, 3, true}, {5, 34, 1, false}}},
      {"a piece starting at VCN 100", {0x11, 0x05, 0x40}, 100, 104, {{100, 64, 5, false}}},
      {"no terminator at the end of the bytes", {0x11, 0x01, 0x07}, 0, 0, {{0, 7, 1, false}}},
      {"an eight-byte cluster number",
       {0x81, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00},
       0,
       0,
       {{0, 1ull << 56, 1, false}}},
      {"an empty piece (highest VCN -1)", {0x00}, 0, ~0ull, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<DataRun> runs;
    ASSERT_TRUE(DecodeDataRuns(Piece(c.pairs, c.lowestVcn, c.highestVcn), &runs));
    ASSERT_EQ(runs.size(), c.runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].vcn, c.runs[i].vcn);
      EXPECT_EQ(runs[i].clusterCount, c.runs[i].clusterCount);
      EXPECT_EQ(runs[i].sparse, c.runs[i].sparse);
      if (!c.runs[i].sparse) {
        EXPECT_EQ(runs[i].lcn, c.runs[i].lcn);
      }
    }
  }
}

TEST(DataRuns, MalformedPairsLeaveTheRunsUnchanged) {
  struct Case {
    const char* what;
    std::vector<unsigned char> pairs;
    uint64_t highestVcn;
  } cases[] = {
      {"no length bytes", {0x10, 0x05, 0x00}, 0},
      {"nine length bytes", {0x19, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0x00}, 0},
      {"nine offset bytes", {0x91, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 0},
      {"fields past the bytes", {0x33, 0x01, 0x00}, 0},
      {"a run of no clusters", {0x11, 0x00, 0x05, 0x00}, 0},
      {"a cluster number below 0", {0x11, 0x01, 0xF0, 0x00}, 0},
      {"runs ending before the highest VCN", {0x11, 0x04, 0x10, 0x00}, 9},
      {"runs going past the highest VCN", {0x11, 0x04, 0x10, 0x00}, 1},
      {"a cluster number past 2^63",
       {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x81,
        0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
       1},
      {"a run longer than 2^62 clusters",
       {0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
       0x7FFFFFFFFFFFFFFEull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<DataRun> runs(2);  // earlier runs stay as they are
    EXPECT_FALSE(DecodeDataRuns(Piece(c.pairs, 0, c.highestVcn), &runs));
    EXPECT_EQ(runs.size(), 2u);
  }
  AttributeView resident;
  std::vector<DataRun> runs;
  EXPECT_FALSE(DecodeDataRuns(resident, &runs));
}

std::vector<unsigned char> ListEntry(uint32_t type, const std::u16string& name, uint64_t lowestVcn,
                                     uint64_t segment, size_t entryLength = 0) {
  std::vector<unsigned char> entry(26 + 2 * name.size(), 0);
  if (entryLength == 0) entryLength = (entry.size() + 7) / 8 * 8;
  entry.resize(std::max(entry.size(), entryLength), 0);
  for (size_t i = 0; i < 4; ++i) entry[i] = static_cast<unsigned char>(type >> (8 * i));
  entry[4] = static_cast<unsigned char>(entryLength);
  entry[5] = static_cast<unsigned char>(entryLength >> 8);
  entry[6] = static_cast<unsigned char>(name.size());
  entry[7] = 26;
  for (size_t i = 0; i < 8; ++i) entry[8 + i] = static_cast<unsigned char>(lowestVcn >> (8 * i));
  for (size_t i = 0; i < 8; ++i) entry[16 + i] = static_cast<unsigned char>(segment >> (8 * i));
  for (size_t i = 0; i < name.size(); ++i) {
    entry[26 + 2 * i] = static_cast<unsigned char>(name[i]);
    entry[27 + 2 * i] = static_cast<unsigned char>(name[i] >> 8);
  }
  return entry;
}

TEST(AttributeList, EntriesAreWalkedWithinTheirBounds) {
  std::vector<unsigned char> list = ListEntry(0x30, u"", 0, MakeFileReference(70, 3));
  const auto second = ListEntry(0x80, u"stream", 1484, MakeFileReference(71, 3));
  list.insert(list.end(), second.begin(), second.end());
  AttributeListWalk walk(list.data(), list.size());
  AttributeListEntry entry;
  ASSERT_TRUE(walk.Next(&entry));
  EXPECT_EQ(entry.type, 0x30u);
  EXPECT_EQ(RecordNumberOf(entry.segmentReference), 70u);
  ASSERT_TRUE(walk.Next(&entry));
  EXPECT_EQ(entry.lowestVcn, 1484u);
  EXPECT_TRUE(NameEquals(entry.name, entry.nameChars, u"stream"));
  EXPECT_EQ(SequenceNumberOf(entry.segmentReference), 3u);
  EXPECT_FALSE(walk.Next(&entry));
  EXPECT_FALSE(walk.Malformed());

  struct Case {
    const char* what;
    std::vector<unsigned char> list;
  } cases[] = {
      {"entry shorter than its header", ListEntry(0x80, u"", 0, 1, 16)},
      {"entry length past the list", ListEntry(0x80, u"", 0, 1, 400)},
      {"a few stray bytes at the end", std::vector<unsigned char>(10, 0)},
  };
  cases[1].list.resize(64);  // claims 400 bytes, holds 64
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    AttributeListWalk bad(c.list.data(), c.list.size());
    EXPECT_FALSE(bad.Next(&entry));
    EXPECT_TRUE(bad.Malformed());
  }
  std::vector<unsigned char> nameOutside = ListEntry(0x80, u"ab", 0, 1, 32);
  nameOutside[6] = 100;  // 100 characters at offset 26
  AttributeListWalk nameWalk(nameOutside.data(), nameOutside.size());
  EXPECT_FALSE(nameWalk.Next(&entry));
  EXPECT_TRUE(nameWalk.Malformed());
}

}  // namespace
