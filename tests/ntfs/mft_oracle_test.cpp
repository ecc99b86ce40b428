// The stream index over NTFS images made by ntfs-3g, compared record by record
// with ntfs-3g's ntfsinfo, plus what the image script itself wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ntfs_test_images.h"
#include "scanners/logic/mft_stream_index.h"

using namespace tarvex;
using namespace ntfs_test;

namespace {

const char* const kImages[] = {"plain512",    "plain4096",  "bigcluster", "mounted512",
                               "mounted4096", "fragmented", "hiding512"};

using StreamFacts = std::map<std::string, std::tuple<uint64_t, uint32_t>>;  // name -> length, flags

struct ExpectedFile {
  uint16_t sequenceNumber = 0;
  bool isDirectory = false;
  std::set<std::pair<uint64_t, std::string>> links;
  StreamFacts streams;
  std::vector<std::string> streamOrder;
  std::set<std::string> paths;
};

uint32_t FlagsOf(const OracleStream& stream) {
  uint32_t flags = stream.nonResident ? kMftStreamNonResident : 0;
  if (stream.attributeFlags & 0x8000) flags |= kMftStreamSparse;
  if (stream.attributeFlags & 0x00FF) flags |= kMftStreamCompressed;
  if (stream.attributeFlags & 0x4000) flags |= kMftStreamEncrypted;
  return flags;
}

// Where a name's chain of parents ends by ntfsinfo's account: the root, the
// $Extend folder, or nowhere; the path is built on the way.
enum class End { kRoot, kExtend, kBroken };
End Chain(const std::map<uint64_t, OracleRecord>& oracle, uint64_t parent, const std::string& name,
          std::string* path) {
  *path = "\\" + name;
  for (int depth = 0; depth < 100; ++depth) {
    if (parent == 5) return End::kRoot;
    if (parent == 11) return End::kExtend;
    auto folder = oracle.find(parent);
    if (folder == oracle.end() || !folder->second.inUse || folder->second.links.empty()) {
      return End::kBroken;
    }
    *path = "\\" + folder->second.links.front().second + *path;
    parent = folder->second.links.front().first;
  }
  return End::kBroken;
}

bool InExtendTree(const std::map<uint64_t, OracleRecord>& oracle, const OracleRecord& record) {
  std::string path;
  for (const auto& link : record.links) {
    if (Chain(oracle, link.first, link.second, &path) == End::kExtend) return true;
  }
  return false;
}

// The files ntfsinfo shows with named $DATA that a walk can meet: not the
// metadata files (records below 16 but the root folder, and $Extend's tree).
std::map<uint64_t, ExpectedFile> ExpectedFiles(const std::map<uint64_t, OracleRecord>& oracle) {
  std::map<uint64_t, ExpectedFile> expected;
  for (const auto& [number, record] : oracle) {
    if (!record.inUse || record.streams.empty()) continue;
    if ((number < 16 && number != 5) || InExtendTree(oracle, record)) continue;
    ExpectedFile file;
    file.sequenceNumber = record.sequenceNumber;
    file.isDirectory = record.isDirectory;
    for (const auto& link : record.links) {
      file.links.insert(link);
      std::string path;
      if (number == 5) {
        file.paths.insert("\\");
      } else if (Chain(oracle, link.first, link.second, &path) == End::kRoot) {
        file.paths.insert(path);
      }
    }
    for (const OracleStream& stream : record.streams) {
      file.streams[stream.name] = {stream.length, FlagsOf(stream)};
      file.streamOrder.push_back(stream.name);
    }
    expected[number] = file;
  }
  return expected;
}

ExpectedFile Actual(const MftStreamIndex& index, const MftStreamFile& file) {
  ExpectedFile actual;
  actual.sequenceNumber = file.sequenceNumber;
  actual.isDirectory = file.isDirectory;
  for (const MftLink& link : file.links) {
    actual.links.insert({RecordNumberOf(link.parentReference), Utf8(link.name)});
  }
  for (const MftStream& stream : file.streams) {
    actual.streams[Utf8(stream.name)] = {stream.length, stream.flags};
    actual.streamOrder.push_back(Utf8(stream.name));
  }
  for (const std::u16string& path : index.PathsOf(file)) actual.paths.insert(Utf8(path));
  return actual;
}

class MftImage : public ::testing::TestWithParam<const char*> {
 protected:
  // Builds the index over the image; false (with the test failed) if it cannot.
  bool BuildIndex(ImageVolume& image, MftStreamIndex* index, size_t chunkLength = 1u << 20) {
    const auto boot = image.Bytes(0, 512);
    image.ExpectSectorAlignment(LoadLe16(boot.data() + 0x0B));
    MftIndexOptions options;
    options.chunkLength = chunkLength;
    const MftIndexResult result = BuildMftStreamIndex(image.Reader(), options, index);
    EXPECT_EQ(result.status, MftIndexStatus::kBuilt);
    EXPECT_EQ(result.format, VolumeFormat::kNtfs);
    return result.status == MftIndexStatus::kBuilt;
  }
};

TEST_P(MftImage, EveryNamedStreamMatchesNtfsinfo) {
  NTFS_REQUIRE_IMAGE(GetParam());
  const auto oracle = ReadOracle(GetParam());
  const auto expected = ExpectedFiles(oracle);
  ASSERT_FALSE(expected.empty()) << "ntfsinfo shows no named stream in " << GetParam();
  ImageVolume image(ImagePath(GetParam()));
  MftStreamIndex index;
  ASSERT_TRUE(BuildIndex(image, &index));
  std::set<uint64_t> reported;
  for (const MftStreamFile& file : index.Files()) {
    reported.insert(file.recordNumber);
    auto want = expected.find(file.recordNumber);
    if (want == expected.end()) {
      ADD_FAILURE() << "record " << file.recordNumber << " has streams ntfsinfo does not show";
      continue;
    }
    const ExpectedFile actual = Actual(index, file);
    SCOPED_TRACE("record " + std::to_string(file.recordNumber));
    EXPECT_EQ(actual.sequenceNumber, want->second.sequenceNumber);
    EXPECT_EQ(actual.isDirectory, want->second.isDirectory);
    EXPECT_EQ(actual.links, want->second.links);
    EXPECT_EQ(actual.streams, want->second.streams);
    // In the order NTFS keeps them (ntfsinfo walks the attribute list).
    EXPECT_EQ(actual.streamOrder, want->second.streamOrder);
    EXPECT_EQ(actual.paths, want->second.paths);
  }
  for (const auto& want : expected) {
    EXPECT_TRUE(reported.count(want.first)) << "record " << want.first << " missing";
  }
  EXPECT_GT(image.ReadCount(), 1u);
  EXPECT_EQ(image.MisalignedReadCount(), 0u) << "a read was not aligned to the sector size";
}

TEST_P(MftImage, LookupsByFileReference) {
  NTFS_REQUIRE_IMAGE(GetParam());
  const auto oracle = ReadOracle(GetParam());
  ImageVolume image(ImagePath(GetParam()));
  MftStreamIndex index;
  ASSERT_TRUE(BuildIndex(image, &index));
  size_t withoutStreams = 0;
  for (const auto& [number, record] : oracle) {
    if (!record.inUse || number < 16 || InExtendTree(oracle, record)) continue;
    SCOPED_TRACE("record " + std::to_string(number));
    const uint64_t reference = MakeFileReference(number, record.sequenceNumber);
    const MftStreamFile* file = nullptr;
    const MftLookup lookup = index.Find(reference, &file);
    if (record.streams.empty()) {
      EXPECT_EQ(lookup, MftLookup::kNoStreams);
      ++withoutStreams;
    } else {
      ASSERT_EQ(lookup, MftLookup::kStreams);
      EXPECT_EQ(file->recordNumber, number);
    }
    // A reused record has another sequence number: the index cannot tell.
    EXPECT_EQ(index.Find(MakeFileReference(number, record.sequenceNumber + 1), nullptr),
              MftLookup::kUnknown);
    EXPECT_EQ(index.FindRecord(number, nullptr), lookup);
  }
  EXPECT_GT(withoutStreams, 0u);
  for (uint64_t number : FactRecords(GetParam(), "no-streams")) {
    EXPECT_EQ(index.FindRecord(number, nullptr), MftLookup::kNoStreams) << number;
  }
  for (uint64_t number : FactRecords(GetParam(), "deleted")) {
    EXPECT_EQ(index.FindRecord(number, nullptr), MftLookup::kUnknown) << number;
  }
  EXPECT_EQ(index.FindRecord(index.Counts().recordCount, nullptr), MftLookup::kUnknown);
}

TEST_P(MftImage, ChunkLengthDoesNotChangeTheIndex) {
  NTFS_REQUIRE_IMAGE(GetParam());
  ImageVolume image(ImagePath(GetParam()));
  MftStreamIndex reference;
  ASSERT_TRUE(BuildIndex(image, &reference));
  for (size_t chunkLength : {size_t{512}, size_t{4096}, size_t{12288}, size_t{16} << 20}) {
    SCOPED_TRACE("chunk " + std::to_string(chunkLength));
    MftStreamIndex index;
    ASSERT_TRUE(BuildIndex(image, &index, chunkLength));
    ASSERT_EQ(index.Files().size(), reference.Files().size());
    for (size_t i = 0; i < index.Files().size(); ++i) {
      EXPECT_EQ(Actual(index, index.Files()[i]).streams,
                Actual(reference, reference.Files()[i]).streams);
    }
    EXPECT_EQ(index.Counts().knownCount, reference.Counts().knownCount);
  }
  EXPECT_EQ(image.MisalignedReadCount(), 0u);
}

TEST_P(MftImage, OneFileReadAloneAgreesWithTheIndex) {
  NTFS_REQUIRE_IMAGE(GetParam());
  const auto oracle = ReadOracle(GetParam());
  ImageVolume image(ImagePath(GetParam()));
  MftStreamIndex index;
  ASSERT_TRUE(BuildIndex(image, &index));
  MftVolume volume(image.Reader());
  ASSERT_EQ(volume.Open(), MftOpenStatus::kOpened);
  size_t compared = 0;
  for (const auto& [number, record] : oracle) {
    if (!record.inUse || (number < 16 && number != 5) || InExtendTree(oracle, record)) continue;
    SCOPED_TRACE("record " + std::to_string(number));
    const uint64_t reference = MakeFileReference(number, record.sequenceNumber);
    const MftStreamFile* indexed = nullptr;
    const MftLookup expected = index.Find(reference, &indexed);
    MftStreamFile alone;
    const uint64_t readBefore = image.ReadLength();
    ASSERT_EQ(ReadMftStreamFile(volume, reference, &alone), expected);
    // Its own record, the records its attribute list names, the list's clusters.
    const uint64_t cluster = index.Geometry().clusterLength;
    std::set<uint64_t> holders = record.holderRecords;
    holders.insert(number);
    EXPECT_LE(image.ReadLength() - readBefore,
              holders.size() * index.Geometry().recordLength +
                  (record.attributeListLength + cluster - 1) / cluster * cluster);
    if (!record.hasAttributeList) {
      EXPECT_EQ(image.ReadLength() - readBefore, index.Geometry().recordLength);
    }
    if (expected == MftLookup::kStreams) {
      EXPECT_EQ(Actual(index, alone).streams, Actual(index, *indexed).streams);
      EXPECT_EQ(Actual(index, alone).streamOrder, Actual(index, *indexed).streamOrder);
      EXPECT_EQ(Actual(index, alone).links, Actual(index, *indexed).links);
    }
    EXPECT_EQ(
        ReadMftStreamFile(volume, MakeFileReference(number, record.sequenceNumber + 1), &alone),
        MftLookup::kUnknown);
    ++compared;
  }
  EXPECT_GT(compared, 1u);
  for (uint64_t number : FactRecords(GetParam(), "deleted")) {
    MftStreamFile alone;
    EXPECT_EQ(ReadMftStreamFile(volume, MakeFileReference(number, oracle.at(number).sequenceNumber),
                                &alone),
              MftLookup::kUnknown);
  }
  EXPECT_EQ(image.MisalignedReadCount(), 0u);
}

TEST_P(MftImage, GeometryFromTheBootSector) {
  NTFS_REQUIRE_IMAGE(GetParam());
  // mkntfs options of the image script: sector size, cluster size; records
  // are 1 KiB unless the sector is larger.
  const std::map<std::string, std::tuple<uint32_t, uint32_t, uint32_t>> made = {
      {"plain512", {512, 4096, 1024}},     {"plain4096", {4096, 4096, 4096}},
      {"bigcluster", {512, 131072, 1024}}, {"mounted512", {512, 4096, 1024}},
      {"mounted4096", {4096, 4096, 4096}}, {"fragmented", {512, 512, 1024}},
      {"hiding512", {512, 4096, 1024}},
  };
  ImageVolume image(ImagePath(GetParam()));
  MftVolume volume(image.Reader());
  ASSERT_EQ(volume.Open(), MftOpenStatus::kOpened);
  EXPECT_EQ(volume.Geometry().sectorLength, std::get<0>(made.at(GetParam())));
  EXPECT_EQ(volume.Geometry().clusterLength, std::get<1>(made.at(GetParam())));
  EXPECT_EQ(volume.Geometry().recordLength, std::get<2>(made.at(GetParam())));
  EXPECT_FALSE(volume.UsedMirror());
}

INSTANTIATE_TEST_SUITE_P(Images, MftImage, ::testing::ValuesIn(kImages),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

// What the image script wrote, independent of ntfsinfo: "path:stream" with length and flags.
struct Written {
  const char* path;
  const char* stream;
  uint64_t length;
  uint32_t flags;
};

std::map<std::string, std::pair<uint64_t, uint32_t>> Entries(const MftStreamIndex& index) {
  std::map<std::string, std::pair<uint64_t, uint32_t>> entries;
  for (const MftStreamFile& file : index.Files()) {
    for (const std::u16string& path : index.PathsOf(file)) {
      for (const MftStream& stream : file.streams) {
        entries[Utf8(path) + ":" + Utf8(stream.name)] = {stream.length, stream.flags};
      }
    }
  }
  return entries;
}

void ExpectWritten(const std::string& image, const std::vector<Written>& written,
                   size_t entryCount) {
  ImageVolume volume(ImagePath(image));
  MftStreamIndex index;
  ASSERT_EQ(BuildMftStreamIndex(volume.Reader(), {}, &index).status, MftIndexStatus::kBuilt);
  const auto entries = Entries(index);
  for (const Written& w : written) {
    const std::string key = std::string(w.path) + ":" + w.stream;
    auto found = entries.find(key);
    if (found == entries.end()) {
      ADD_FAILURE() << image << ": no entry " << key;
      continue;
    }
    EXPECT_EQ(found->second.first, w.length) << key;
    EXPECT_EQ(found->second.second, w.flags) << key;
  }
  EXPECT_EQ(entries.size(), entryCount) << image;
  for (const auto& entry : entries) {
    EXPECT_EQ(entry.first.find("~1"), std::string::npos) << "DOS alias as a path: " << entry.first;
    EXPECT_EQ(entry.first.find("$Extend"), std::string::npos) << entry.first;
  }
}

const std::vector<Written> kPlainStreams = {
    {"\\", "rootstream", 36, 0},
    {"\\clean.txt", "clean", 36, 0},
    {"\\testfile.txt", "test", 68, 0},
    {"\\big.bin", "nonresident", 20000, kMftStreamNonResident},
    {"\\empty.txt", "empty", 0, 0},
    {"\\Привет.txt", "поток", 13, 0},
    {"\\漢字.txt", "流", 13, 0},
    {"\\emoji😀.txt", "😀", 13, 0},
    {"\\trailing.", "s", 13, 0},
    {"\\trailing ", "s", 13, 0},
    {"\\nul", "s", 13, 0},
    {"\\com1.txt", "s", 13, 0},
    {"\\many.txt", "stream_number_1", 8, 0},
    {"\\many.txt", "stream_number_120", 10, 0},
};

TEST(MftImageContent, PlainImagesHoldWhatTheScriptWrote) {
  for (const char* image : {"plain512", "plain4096"}) {
    SCOPED_TRACE(image);
    // The listed streams plus 118 more of many.txt.
    ExpectWritten(image, kPlainStreams, kPlainStreams.size() + 118);
  }
}

TEST(MftImageContent, MountedImagesHoldWhatTheScriptWrote) {
  std::vector<Written> written = {
      {"\\", "rootstream", 36, 0},
      {"\\dir", "folderstream", 13, 0},
      {"\\dir\\f.txt", "alpha", 36, 0},
      {"\\dir\\f.txt", "beta", 68, 0},
      {"\\dir\\link.txt", "alpha", 36, 0},
      {"\\dir\\link.txt", "beta", 68, 0},
      {"\\other\\link2.txt", "alpha", 36, 0},
      {"\\other\\link2.txt", "beta", 68, 0},
      {"\\dir\\sub\\deeper\\deep.txt", "deep", 20000, kMftStreamNonResident},
      {"\\Папка", "папка", 13, 0},
      {"\\Папка\\文件.txt", "ストリーム", 13, 0},
      {"\\LongFileName.txt", "s", 13, 0},
      {"\\sparse.bin", "holes", 1048589, kMftStreamNonResident | kMftStreamSparse},
      {"\\emptystream.txt", "empty", 0, 0},
      {"\\packed\\p.txt", "squeezed", 30000, kMftStreamNonResident | kMftStreamCompressed},
      {"\\links\\target.txt", "linked", 36, 0},
  };
  for (const char* image : {"mounted512", "mounted4096"}) {
    SCOPED_TRACE(image);
    NTFS_REQUIRE_IMAGE(image);
    // 40 more hard links of links\target.txt.
    ExpectWritten(image, written, written.size() + 40);
  }
}

TEST(MftImageContent, FragmentedVolumeNeedsRecordZerosAttributeList) {
  NTFS_REQUIRE_IMAGE("fragmented");
  // ntfsinfo shows $MFT's $DATA in more than one record.
  const auto oracle = ReadOracle("fragmented");
  const auto& pieces = oracle.at(0).unnamedDataPieces;
  ASSERT_GE(pieces.size(), 2u);
  uint64_t firstPieceEnd = 0;
  for (const OraclePiece& piece : pieces) {
    if (piece.lowestVcn == 0) {
      EXPECT_EQ(piece.holderRecord, 0u);
      firstPieceEnd = piece.highestVcn + 1;
    }
  }
  ImageVolume image(ImagePath("fragmented"));
  MftStreamIndex index;
  ASSERT_EQ(BuildMftStreamIndex(image.Reader(), {}, &index).status, MftIndexStatus::kBuilt);
  const MftStreamFile* late = nullptr;
  const MftStreamFile* split = nullptr;
  for (const MftStreamFile& file : index.Files()) {
    for (const MftStream& stream : file.streams) {
      if (stream.name == u"late") late = &file;
      if (stream.name == u"split") split = &file;
    }
  }
  ASSERT_NE(late, nullptr);
  ASSERT_NE(split, nullptr);
  // The record with stream "late" lies beyond the runs that record 0 holds.
  EXPECT_GE(late->recordNumber * index.Geometry().recordLength / index.Geometry().clusterLength,
            firstPieceEnd);
  EXPECT_EQ(split->streams.front().length, 800000u);
  // split's runs continue in an extension record (ntfsinfo shows two pieces).
  size_t splitPieces = 0;
  std::ifstream dump(ImagesDir() + "/fragmented.oracle");
  std::string line;
  while (std::getline(dump, line)) splitPieces += line.find("'split'") != std::string::npos;
  EXPECT_GE(splitPieces, 2u);
}

TEST(MftImageContent, ExtendTreeFilesAreNoEntries) {
  NTFS_REQUIRE_IMAGE("plain512");
  // The script put $UsnJrnl with streams $J and $Max into $Extend.
  ImageVolume image(ImagePath("plain512"));
  MftStreamIndex index;
  ASSERT_EQ(BuildMftStreamIndex(image.Reader(), {}, &index).status, MftIndexStatus::kBuilt);
  EXPECT_EQ(index.Counts().extendCount, 1u);
  for (const MftStreamFile& file : index.Files()) {
    for (const MftStream& stream : file.streams) EXPECT_NE(stream.name, u"$J");
  }
}

}  // namespace
