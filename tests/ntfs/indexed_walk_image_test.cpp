// Where the folder walk takes each entry's streams from, over indexes of the
// NTFS images ntfs-3g made: by the file reference a listing reports, with
// and without its sequence number, compared with ntfsinfo's account.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ntfs_test_images.h"
#include "scanners/logic/indexed_walk.h"

using namespace tarvex;
using namespace ntfs_test;

namespace {

class IndexedWalkImage : public ::testing::TestWithParam<const char*> {};

bool UnderExtend(const std::map<uint64_t, OracleRecord>& oracle, const OracleRecord& record) {
  for (const auto& link : record.links) {
    uint64_t parent = link.first;
    for (int depth = 0; depth < 100 && parent != 5; ++depth) {
      if (parent == 11) return true;
      auto folder = oracle.find(parent);
      if (folder == oracle.end() || folder->second.links.empty()) break;
      parent = folder->second.links.front().first;
    }
  }
  return false;
}

TEST_P(IndexedWalkImage, EveryListedReferenceLeadsToTheRightSource) {
  NTFS_REQUIRE_IMAGE(GetParam());
  const auto oracle = ReadOracle(GetParam());
  ImageVolume image(ImagePath(GetParam()));
  MftStreamIndex index;
  ASSERT_EQ(MftIndexStatus::kBuilt, BuildMftStreamIndex(image.Reader(), {}, &index).status);
  size_t fromIndex = 0, none = 0;
  for (const auto& [number, record] : oracle) {
    if (!record.inUse || (number < 16 && number != 5)) continue;
    SCOPED_TRACE("record " + std::to_string(number));
    // The streams of $Extend's files are left out of the index: those files are asked.
    const EntryStreams expected = record.streams.empty()        ? EntryStreams::kNone
                                  : UnderExtend(oracle, record) ? EntryStreams::kQueryFile
                                                                : EntryStreams::kFromIndex;
    // As Windows reports it, and as a listing without sequence numbers does.
    for (const uint64_t reference : {MakeFileReference(number, record.sequenceNumber), number}) {
      const MftStreamFile* file = nullptr;
      ASSERT_EQ(expected, LookUpEntryStreams(&index, reference, false, &file))
          << std::hex << reference;
      // A reparse point's streams are its target's: always asked.
      EXPECT_EQ(EntryStreams::kQueryFile, LookUpEntryStreams(&index, reference, true, nullptr));
      if (expected != EntryStreams::kFromIndex) continue;
      std::vector<std::u16string> wanted;
      for (const OracleStream& stream : record.streams) wanted.push_back(u":" + Utf16(stream.name));
      EXPECT_EQ(wanted, IndexedStreamSuffixes(*file));
    }
    // The record was reused since the listing: its file is asked.
    EXPECT_EQ(EntryStreams::kQueryFile,
              LookUpEntryStreams(&index, MakeFileReference(number, record.sequenceNumber + 1),
                                 false, nullptr));
    fromIndex += expected == EntryStreams::kFromIndex;
    none += expected == EntryStreams::kNone;
  }
  EXPECT_GT(fromIndex, 0u);
  EXPECT_GT(none, 0u);
  // Records freed after their file had a stream are asked, as are those past the end.
  for (uint64_t number : FactRecords(GetParam(), "deleted")) {
    EXPECT_EQ(EntryStreams::kQueryFile, LookUpEntryStreams(&index, number, false, nullptr))
        << number;
  }
  EXPECT_EQ(EntryStreams::kQueryFile,
            LookUpEntryStreams(&index, index.Counts().recordCount, false, nullptr));
  // Metadata records other than the root folder ($MFT, $Extend) are never answered.
  EXPECT_EQ(EntryStreams::kQueryFile,
            LookUpEntryStreams(&index, MakeFileReference(0, 1), false, nullptr));
  EXPECT_EQ(EntryStreams::kQueryFile, LookUpEntryStreams(&index, 11, false, nullptr));
}

INSTANTIATE_TEST_SUITE_P(Images, IndexedWalkImage,
                         ::testing::Values("plain512", "plain4096", "mounted512", "mounted4096",
                                           "hiding512"));

}  // namespace
