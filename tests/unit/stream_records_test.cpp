// The stream-record walk over buffers built here the way the file system lays
// them out, the name rules, and the query that grows its buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scanners/logic/stream_records.h"

using namespace tarvex;

namespace {

struct ListedStream {
  std::u16string name;
  uint64_t size;
};

void PutU32(std::vector<unsigned char>& buffer, size_t at, uint32_t value) {
  std::memcpy(&buffer[at], &value, sizeof value);
}

// FILE_STREAM_INFORMATION records, each starting on an 8-byte boundary; the
// last one has NextEntryOffset 0. The buffer is padded to totalLength.
std::vector<unsigned char> BuildRecords(const std::vector<ListedStream>& listed,
                                        size_t totalLength = 0) {
  std::vector<unsigned char> buffer;
  size_t previous = 0;
  for (size_t i = 0; i < listed.size(); ++i) {
    const size_t start = (buffer.size() + 7) / 8 * 8;
    buffer.resize(start + kStreamRecordHeaderLength + listed[i].name.size() * 2, 0);
    if (i > 0) PutU32(buffer, previous, static_cast<uint32_t>(start - previous));
    PutU32(buffer, start + 4, static_cast<uint32_t>(listed[i].name.size() * 2));
    std::memcpy(&buffer[start + 8], &listed[i].size, 8);
    std::memcpy(&buffer[start + kStreamRecordHeaderLength], listed[i].name.data(),
                listed[i].name.size() * 2);
    previous = start;
  }
  if (buffer.size() < totalLength) buffer.resize(totalLength, 0);
  return buffer;
}

std::vector<std::u16string> Names(const std::vector<StreamRecord>& records) {
  std::vector<std::u16string> names;
  for (const auto& r : records) names.push_back(r.name);
  return names;
}

TEST(StreamRecords, ListsAreReadInOrderAndEmptyListsGiveNothing) {
  struct Case {
    const char* what;
    std::vector<ListedStream> listed;
    std::vector<std::u16string> expected;
  } cases[] = {
      {"empty list (zero-filled buffer)", {}, {}},
      {"main stream only", {{u"::$DATA", 10}}, {u"::$DATA"}},
      {"several named streams",
       {{u"::$DATA", 10}, {u":one:$DATA", 3}, {u":second stream:$DATA", 0}, {u":x:$DATA", 99}},
       {u"::$DATA", u":one:$DATA", u":second stream:$DATA", u":x:$DATA"}},
      {"a folder's streams (no main stream)", {{u":folderads:$DATA", 5}}, {u":folderads:$DATA"}},
      {"names beyond the ANSI code page",
       {{u":\u4E2D\u6587:$DATA", 1}, {u":\u00FC:$DATA", 1}},
       {u":\u4E2D\u6587:$DATA", u":\u00FC:$DATA"}},
  };
  for (const Case& c : cases) {
    const auto buffer = BuildRecords(c.listed, 4096);
    EXPECT_EQ(c.expected, Names(ReadStreamRecords(buffer.data(), buffer.size()))) << c.what;
  }
}

TEST(StreamRecords, SizesAreTakenFromTheRecords) {
  const auto buffer = BuildRecords({{u"::$DATA", 1}, {u":big:$DATA", 0x123456789ULL}}, 256);
  const auto records = ReadStreamRecords(buffer.data(), buffer.size());
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(0x123456789ULL, records[1].size);
}

TEST(StreamRecords, TheWalkNeverReadsPastTheBuffer) {
  // Exact-length buffers: under ASan any read beyond them fails the test.
  const auto full = BuildRecords({{u"::$DATA", 1}, {u":a:$DATA", 2}, {u":bb:$DATA", 3}});
  EXPECT_EQ(3u, ReadStreamRecords(full.data(), full.size()).size());

  // Cut inside the last record's name, inside its header, and before it.
  const size_t lastStart = full.size() - kStreamRecordHeaderLength - 2 * 9;  // ":bb:$DATA"
  for (size_t cut : {full.size() - 1, lastStart + 10, lastStart}) {
    std::vector<unsigned char> part(full.begin(), full.begin() + static_cast<long>(cut));
    EXPECT_EQ(2u, ReadStreamRecords(part.data(), part.size()).size()) << cut;
  }
  // Shorter than one header.
  std::vector<unsigned char> tiny(full.begin(), full.begin() + 10);
  EXPECT_TRUE(ReadStreamRecords(tiny.data(), tiny.size()).empty());
  EXPECT_TRUE(ReadStreamRecords(nullptr, 0).empty());

  // A name length that claims more than the buffer holds.
  auto lying = BuildRecords({{u":a:$DATA", 1}});
  PutU32(lying, 4, 0x7FFFFFF0u);
  EXPECT_TRUE(ReadStreamRecords(lying.data(), lying.size()).empty());

  // A next offset that jumps out of the buffer ends the list after that record.
  auto jumping = BuildRecords({{u":a:$DATA", 1}, {u":b:$DATA", 1}});
  PutU32(jumping, 0, 0xFFFFFFF0u);
  EXPECT_EQ(std::vector<std::u16string>{u":a:$DATA"},
            Names(ReadStreamRecords(jumping.data(), jumping.size())));
}

TEST(StreamRecords, NameRulesForFilesAndFolders) {
  struct Case {
    std::u16string name;
    bool folder;
    bool scanned;
    std::u16string suffix;
  } cases[] = {
      {u"::$DATA", false, false, u""},                // a file's main content
      {u" ::$DATA ", false, false, u""},              // blanks around do not hide it
      {u":hidden:$DATA", false, true, u":hidden"},    // type suffix cut
      {u": x :$DATA", false, true, u": x "},          // blanks inside the name stay
      {u":zone:$DATA ", false, true, u":zone"},       // blanks behind the type do not shift the cut
      {u":odd:$OTHER", false, true, u":odd:$OTHER"},  // no ":$DATA" suffix: kept whole
      {u":folderads:$DATA", true, true, u":folderads"},
      {u"::$DATA", true, true, u":"},  // a folder's names always lose six characters
      {u":\u4E2D:$DATA", false, true, u":\u4E2D"},
  };
  for (const Case& c : cases) {
    const auto suffix = StreamPathSuffix(c.name, c.folder);
    ASSERT_EQ(c.scanned, suffix.has_value()) << std::string(c.name.begin(), c.name.end());
    if (suffix) {
      EXPECT_EQ(c.suffix, *suffix);
    }
  }
}

// A file system whose list needs `needed` bytes: it fills what fits and
// answers STATUS_BUFFER_OVERFLOW until the buffer is large enough.
struct FakeStreamQuery {
  std::vector<ListedStream> listed;
  std::vector<unsigned char> storage;
  std::vector<uint32_t> lengthsAsked;
  uint32_t statusWhenItFits = kStatusSuccess;

  unsigned char* Allocate(uint32_t length) {
    storage.assign(length, 0);
    return storage.data();
  }
  uint32_t Query(unsigned char* buffer, uint32_t length) {
    lengthsAsked.push_back(length);
    const auto full = BuildRecords(listed);
    if (full.size() > length) return kStatusBufferOverflow;
    std::memcpy(buffer, full.data(), full.size());
    return statusWhenItFits;
  }
  uint32_t Run(uint32_t* bufferLength) {
    return QueryStreamList([this](uint32_t n) { return Allocate(n); },
                           [this](unsigned char* b, uint32_t n) { return Query(b, n); },
                           bufferLength);
  }
};

TEST(StreamRecords, AListThatDoesNotFitIsAskedForAgainWithALargerBuffer) {
  FakeStreamQuery fake;
  fake.listed.push_back({u"::$DATA", 1});
  // About 1.3 MiB of records: twice the first buffer is not yet enough.
  for (int i = 0; i < 5000; ++i) {
    fake.listed.push_back({u":" + std::u16string(120, u'a' + static_cast<char16_t>(i % 26)) + u"_" +
                               std::u16string(1, u'0' + static_cast<char16_t>(i % 10)) + u":$DATA",
                           1});
  }
  uint32_t bufferLength = 0;
  EXPECT_EQ(kStatusSuccess, fake.Run(&bufferLength));
  EXPECT_EQ((std::vector<uint32_t>{655360, 1310720, 2621440}), fake.lengthsAsked);
  EXPECT_EQ(2621440u, bufferLength);
  const auto records = ReadStreamRecords(fake.storage.data(), bufferLength);
  ASSERT_EQ(5001u, records.size());
  EXPECT_EQ(fake.listed.back().name, records.back().name);
}

TEST(StreamRecords, TheQueryStopsOnOtherStatusesAndAtItsLimit) {
  FakeStreamQuery small;
  small.listed = {{u"::$DATA", 1}};
  small.statusWhenItFits = kStatusNotImplemented;  // Wine, or a file system without streams
  uint32_t bufferLength = 0;
  EXPECT_EQ(kStatusNotImplemented, small.Run(&bufferLength));
  EXPECT_EQ(1u, small.lengthsAsked.size());

  // A query that never fits stops at the limit instead of growing forever.
  uint32_t asked = 0;
  std::vector<unsigned char> storage;
  const uint32_t status = QueryStreamList(
      [&](uint32_t n) {
        storage.assign(n, 0);
        return storage.data();
      },
      [&](unsigned char*, uint32_t n) {
        asked = n;
        return kStatusBufferTooSmall;
      },
      &bufferLength);
  EXPECT_EQ(kStatusBufferTooSmall, status);
  EXPECT_EQ(kStreamListMaxLength, asked);

  // No memory for the buffer: the query is not made.
  bool queried = false;
  EXPECT_EQ(kStatusBufferTooSmall,
            QueryStreamList([](uint32_t) -> unsigned char* { return nullptr; },
                            [&](unsigned char*, uint32_t) {
                              queried = true;
                              return kStatusSuccess;
                            },
                            &bufferLength));
  EXPECT_FALSE(queried);
  EXPECT_EQ(0u, bufferLength);
}

TEST(StreamRecords, WhenTheLargerBufferCannotBeHadTheRecordsThatFitAreKept) {
  FakeStreamQuery fake;
  fake.listed.push_back({u"::$DATA", 1});
  for (int i = 0; i < 5000; ++i) {
    fake.listed.push_back(
        {u":" + std::u16string(120, u'a' + static_cast<char16_t>(i % 26)) + u":$DATA", 1});
  }
  // The file system writes the records that fit and says the list goes on.
  auto fillWhatFits = [&](unsigned char* buffer, uint32_t length) {
    fake.lengthsAsked.push_back(length);
    size_t count = 0;
    size_t end = 0;
    for (const ListedStream& stream : fake.listed) {
      const size_t next = (end + 7) / 8 * 8 + kStreamRecordHeaderLength + stream.name.size() * 2;
      if (next > length) break;
      end = next;
      ++count;
    }
    const auto fitting =
        BuildRecords(std::vector<ListedStream>(fake.listed.begin(), fake.listed.begin() + count));
    std::memcpy(buffer, fitting.data(), fitting.size());
    return count < fake.listed.size() ? kStatusBufferOverflow : kStatusSuccess;
  };
  // The first buffer is had; the larger one is not, and the first stays as it was.
  int allocations = 0;
  auto allocate = [&](uint32_t length) -> unsigned char* {
    if (++allocations > 1) return nullptr;
    fake.storage.assign(length, 0);
    return fake.storage.data();
  };
  uint32_t bufferLength = 0;
  const uint32_t status = QueryStreamList(allocate, fillWhatFits, &bufferLength);
  EXPECT_EQ(kStatusBufferOverflow, status);
  EXPECT_EQ(kStreamListFirstLength, bufferLength);
  EXPECT_EQ(std::vector<uint32_t>{kStreamListFirstLength}, fake.lengthsAsked);
  const auto records = AcceptedStreamRecords(status, fake.storage.data(), bufferLength, 0);
  ASSERT_GT(records.size(), 1000u);
  EXPECT_LT(records.size(), fake.listed.size());
  EXPECT_EQ(u"::$DATA", records.front().name);
  EXPECT_EQ(fake.listed[records.size() - 1].name, records.back().name);
}

TEST(StreamRecords, TooLongStatusesAreRecognised) {
  EXPECT_TRUE(IsListTooLong(kStatusBufferOverflow));
  EXPECT_TRUE(IsListTooLong(kStatusBufferTooSmall));
  EXPECT_TRUE(IsListTooLong(kStatusInfoLengthMismatch));
  EXPECT_FALSE(IsListTooLong(kStatusSuccess));
  EXPECT_FALSE(IsListTooLong(kStatusNotImplemented));
}

TEST(StreamRecords, OnlySuccessAndOverflowListsAreTakenAndEndWhereTheQueryStopped) {
  // Two records; the second one starts at 24 + 2 * 7 = 38, rounded up to 40.
  const std::vector<unsigned char> buffer =
      BuildRecords({{u"::$DATA", 10}, {u":one:$DATA", 3}}, 4096);
  const uint32_t bufferLength = static_cast<uint32_t>(buffer.size());
  const size_t firstRecordLength = 40;
  struct Case {
    const char* what;
    uint32_t status;
    uint64_t writtenLength;
    std::vector<std::u16string> expected;
  } cases[] = {
      {"success, written length unknown", kStatusSuccess, 0, {u"::$DATA", u":one:$DATA"}},
      {"success, written length covers both", kStatusSuccess, 200, {u"::$DATA", u":one:$DATA"}},
      {"success, written length ends after the first",
       kStatusSuccess,
       firstRecordLength,
       {u"::$DATA"}},
      {"written length beyond the buffer",
       kStatusSuccess,
       bufferLength + 100ull,
       {u"::$DATA", u":one:$DATA"}},
      {"overflow: the records that fit", kStatusBufferOverflow, 0, {u"::$DATA", u":one:$DATA"}},
      {"buffer too small", kStatusBufferTooSmall, 0, {}},
      {"length mismatch", kStatusInfoLengthMismatch, 0, {}},
      {"not implemented (Wine)", kStatusNotImplemented, 0, {}},
      {"access denied", 0xC0000022u, 0, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected,
              Names(AcceptedStreamRecords(c.status, buffer.data(), bufferLength, c.writtenLength)))
        << c.what;
  }
}

}  // namespace
