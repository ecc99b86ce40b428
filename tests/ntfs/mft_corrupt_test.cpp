// The stream index over damaged copies of the ntfs-3g images: torn records,
// lying lengths and offsets, broken attribute lists, cut and unreadable
// images, a wrong record size. Damage costs the records it touches (they
// become unknown, so a walk asks the file system) and never the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ntfs_test_images.h"
#include "scanners/logic/mft_stream_index.h"

using namespace tarvex;
using namespace ntfs_test;

namespace {

struct Built {
  MftIndexResult result;
  MftStreamIndex index;
};

std::unique_ptr<Built> Build(ImageVolume& image) {
  auto built = std::make_unique<Built>();
  built->result = BuildMftStreamIndex(image.Reader(), {}, &built->index);
  return built;
}

// Record number of the file whose stream has this name.
uint64_t RecordWithStream(const MftStreamIndex& index, const std::u16string& stream) {
  for (const MftStreamFile& file : index.Files()) {
    for (const MftStream& s : file.streams) {
      if (s.name == stream) return file.recordNumber;
    }
  }
  ADD_FAILURE() << "no stream " << Utf8(stream);
  return 0;
}

// Record number of the folder with this name, by ntfsinfo's account.
uint64_t FolderRecord(const std::string& image, const std::string& name) {
  for (const auto& [number, record] : ReadOracle(image)) {
    for (const auto& link : record.links) {
      if (link.second == name && record.isDirectory) return number;
    }
  }
  ADD_FAILURE() << "no folder " << name;
  return 0;
}

// A record of the image: where it lies, and its bytes with fixups applied
// (equal to the bytes on disk but at the end of each 512-byte block).
struct Located {
  uint64_t offset = 0;
  std::vector<unsigned char> bytes;
  uint32_t recordLength = 0;
};

Located Locate(ImageVolume& image, uint64_t recordNumber) {
  MftVolume volume(image.Reader());
  EXPECT_EQ(volume.Open(), MftOpenStatus::kOpened);
  Located located;
  located.recordLength = volume.Geometry().recordLength;
  located.offset = RecordOffset(volume, recordNumber);
  located.bytes = image.Bytes(located.offset, located.recordLength);
  EXPECT_TRUE(ApplyRecordFixups(located.bytes.data(), located.bytes.size()));
  return located;
}

// Patches bytes of a record that are not protected by the update sequence.
void PatchRecord(ImageVolume& image, const Located& record, size_t at, uint64_t value,
                 size_t byteCount) {
  for (size_t i = at; i < at + byteCount; ++i) {
    ASSERT_NE(i % kFixupBlockLength, kFixupBlockLength - 2) << "patch hits a fixup";
    ASSERT_NE(i % kFixupBlockLength, kFixupBlockLength - 1) << "patch hits a fixup";
  }
  image.PatchLe(record.offset + at, value, byteCount);
}

// Makes the last two bytes of a 512-byte block disagree with the update sequence.
void TearBlockEnd(ImageVolume& image, uint64_t blockEndOffset) {
  const auto bytes = image.Bytes(blockEndOffset, 2);
  image.PatchLe(blockEndOffset, LoadLe16(bytes.data()) ^ 0xFFFFu, 2);
}

// Every file of the intact index but those listed is still found, unchanged.
void ExpectOthersIntact(const MftStreamIndex& intact, const MftStreamIndex& damaged,
                        const std::vector<uint64_t>& lost) {
  size_t kept = 0;
  for (const MftStreamFile& file : intact.Files()) {
    const bool isLost = std::find(lost.begin(), lost.end(), file.recordNumber) != lost.end();
    const MftStreamFile* found = nullptr;
    const MftLookup lookup = damaged.Find(file.FileReference(), &found);
    if (isLost) {
      EXPECT_EQ(lookup, MftLookup::kUnknown) << "record " << file.recordNumber;
      continue;
    }
    ++kept;
    ASSERT_EQ(lookup, MftLookup::kStreams) << "record " << file.recordNumber;
    EXPECT_EQ(found->streams.size(), file.streams.size());
    EXPECT_EQ(found->links.size(), file.links.size());
  }
  EXPECT_EQ(damaged.Files().size(), kept);
}

class Damage : public ::testing::Test {
 protected:
  void Load(const std::string& name) {
    image_ = std::make_unique<ImageVolume>(ImagePath(name));
    intact_ = Build(*image_);
    ASSERT_EQ(intact_->result.status, MftIndexStatus::kBuilt);
  }
  std::unique_ptr<ImageVolume> image_;
  std::unique_ptr<Built> intact_;
};

TEST_F(Damage, TornRecordIsSkippedAloneInItsChunk) {
  struct Case {
    const char* image;
    size_t block;  // the 512-byte block whose end is torn
  } cases[] = {{"plain512", 1}, {"plain512", 2}, {"plain4096", 1}, {"plain4096", 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.image) + " block " + std::to_string(c.block));
    ASSERT_NO_FATAL_FAILURE(Load(c.image));
    const uint64_t target = RecordWithStream(intact_->index, u"clean");
    const Located record = Locate(*image_, target);
    TearBlockEnd(*image_, record.offset + c.block * kFixupBlockLength - 2);
    const auto damaged = Build(*image_);
    ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
    EXPECT_EQ(damaged->index.Counts().tornCount, 1u);
    ExpectOthersIntact(intact_->index, damaged->index, {target});
  }
}

TEST_F(Damage, LyingLengthsAndOffsetsCostOneRecord) {
  struct Case {
    const char* what;
    uint32_t attributeType;  // 0: the record header
    const char16_t* attributeName;
    size_t field;  // offset in the attribute (or header)
    uint64_t value;
    size_t byteCount;
  } cases[] = {
      {"attribute length past the record", kDataAttribute, u"clean", 4, 0xFFFFFFF0u, 4},
      {"attribute length 0", kDataAttribute, u"clean", 4, 0, 4},
      {"attribute length below its header", kDataAttribute, u"clean", 4, 8, 4},
      {"form byte neither resident nor not", kDataAttribute, u"clean", 8, 7, 1},
      {"name longer than the attribute", kDataAttribute, u"clean", 9, 255, 1},
      {"name offset past the attribute", kDataAttribute, u"clean", 10, 0xFFF0, 2},
      {"value length past the attribute", kDataAttribute, u"clean", 16, 0x7FFFFFFF, 4},
      {"value offset past the attribute", kDataAttribute, u"clean", 20, 0xFFF0, 2},
      {"file name longer than its value", kFileNameAttribute, nullptr, 24 + 64, 255, 1},
      {"used length past the record", 0, nullptr, 24, 0xFFFF, 4},
      {"first attribute inside the header", 0, nullptr, 20, 4, 2},
      {"first attribute past the used length", 0, nullptr, 20, 0x3F0, 2},
      {"record number of another record", 0, nullptr, 44, 3, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Load("plain512"));
    const uint64_t target = RecordWithStream(intact_->index, u"clean");
    const Located record = Locate(*image_, target);
    size_t at = c.field;
    if (c.attributeType != 0) {
      const size_t attribute =
          c.attributeName == nullptr
              ? AttributeOffset(record.bytes, c.attributeType)
              : AttributeOffset(record.bytes, c.attributeType, c.attributeName, false);
      ASSERT_NE(attribute, 0u);
      at += attribute;
    }
    PatchRecord(*image_, record, at, c.value, c.byteCount);
    const auto damaged = Build(*image_);
    ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
    EXPECT_EQ(damaged->index.Counts().malformedCount, 1u);
    ExpectOthersIntact(intact_->index, damaged->index, {target});
  }
}

// split.txt of the fragmented image: its attribute list (non-resident, as
// ntfs-3g always makes them) places stream "split" at VCN 0 in the base record
// and its continuation in an extension record, and the name in a third record.
class SplitStream : public Damage {
 protected:
  void SetUp() override {
    NTFS_REQUIRE_IMAGE("fragmented");
    ASSERT_NO_FATAL_FAILURE(Load("fragmented"));
    base_ = RecordWithStream(intact_->index, u"split");
    baseRecord_ = Locate(*image_, base_);
    const size_t list = AttributeOffset(baseRecord_.bytes, kAttributeList);
    ASSERT_NE(list, 0u);
    ASSERT_EQ(baseRecord_.bytes[list + 8], 1) << "list expected non-resident";
    // One run of one or more clusters: where the list's bytes lie on the volume.
    const unsigned char* runs =
        baseRecord_.bytes.data() + list + LoadLe16(baseRecord_.bytes.data() + list + 32);
    const size_t lengthBytes = runs[0] & 0x0F;
    const size_t offsetBytes = runs[0] >> 4;
    uint64_t lcn = 0;
    for (size_t i = 0; i < offsetBytes; ++i) lcn |= uint64_t{runs[1 + lengthBytes + i]} << (8 * i);
    const uint64_t listLength = LoadLe64(baseRecord_.bytes.data() + list + 48);
    listOffset_ = lcn * intact_->index.Geometry().clusterLength;
    const auto listBytes = image_->Bytes(listOffset_, listLength);
    for (size_t at = 0; at + 26 <= listBytes.size(); at += LoadLe16(listBytes.data() + at + 4)) {
      if (LoadLe32(listBytes.data() + at) == kDataAttribute && listBytes[at + 6] != 0 &&
          LoadLe64(listBytes.data() + at + 8) > 0) {
        continuation_ = listOffset_ + at;
        extension_ = RecordNumberOf(LoadLe64(listBytes.data() + at + 16));
      }
      if (LoadLe16(listBytes.data() + at + 4) == 0) break;
    }
    ASSERT_NE(continuation_, 0u);
    ASSERT_NE(extension_, base_);
  }

  void ExpectSplitUnresolved() {
    const auto damaged = Build(*image_);
    ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
    EXPECT_EQ(damaged->index.Counts().unresolvedCount, 1u);
    ExpectOthersIntact(intact_->index, damaged->index, {base_});
  }

  uint64_t base_ = 0;
  uint64_t extension_ = 0;
  Located baseRecord_;
  uint64_t listOffset_ = 0;
  uint64_t continuation_ = 0;  // on the volume: list entry of "split" at a VCN above 0
};

TEST_F(SplitStream, PiecesAreJoinedByName) {
  const MftStreamFile* file = nullptr;
  ASSERT_EQ(intact_->index.FindRecord(base_, &file), MftLookup::kStreams);
  ASSERT_EQ(file->streams.size(), 1u);
  EXPECT_EQ(file->streams[0].length, 800000u);
  EXPECT_EQ(file->streams[0].flags, kMftStreamNonResident);
  // The name lives in another extension record than the stream's second piece.
  ASSERT_EQ(file->links.size(), 1u);
  EXPECT_EQ(file->links[0].name, u"split.txt");
}

TEST_F(SplitStream, ExtensionWhoseBaseSequenceNoLongerMatches) {
  const Located extension = Locate(*image_, extension_);
  PatchRecord(*image_, extension, 32 + 6,
              SequenceNumberOf(LoadLe64(extension.bytes.data() + 32)) + 1, 2);
  ExpectSplitUnresolved();
}

TEST_F(SplitStream, ExtensionPointingAtItselfAsBase) {
  const Located extension = Locate(*image_, extension_);
  PatchRecord(*image_, extension, 32,
              MakeFileReference(extension_, LoadLe16(extension.bytes.data() + 16)), 8);
  ExpectSplitUnresolved();
}

TEST_F(SplitStream, ListEntryPointingBackAtItsBase) {
  image_->PatchLe(continuation_ + 16,
                  MakeFileReference(base_, LoadLe16(baseRecord_.bytes.data() + 16)), 8);
  ExpectSplitUnresolved();
}

TEST_F(SplitStream, ListEntryPointingAtAnotherFile) {
  image_->PatchLe(continuation_ + 16, MakeFileReference(kRootFolderRecord, 5), 8);
  ExpectSplitUnresolved();
}

TEST_F(SplitStream, ListEntryWithLengthZero) {
  image_->PatchLe(continuation_ + 4, 0, 2);
  ExpectSplitUnresolved();
}

TEST_F(SplitStream, ExtensionNotInUse) {
  const Located extension = Locate(*image_, extension_);
  PatchRecord(*image_, extension, 22, LoadLe16(extension.bytes.data() + 22) & ~1u, 2);
  ExpectSplitUnresolved();
}

TEST_F(SplitStream, BaseRecordGoneLeavesItsExtensionsUnused) {
  PatchRecord(*image_, baseRecord_, 22, LoadLe16(baseRecord_.bytes.data() + 22) & ~1u, 2);
  const auto damaged = Build(*image_);
  ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
  EXPECT_EQ(damaged->index.Counts().unresolvedCount, 0u);
  ExpectOthersIntact(intact_->index, damaged->index, {base_});
  EXPECT_EQ(damaged->index.FindRecord(extension_, nullptr), MftLookup::kUnknown);
}

TEST_F(Damage, NonResidentAttributeListThatCannotBeRead) {
  struct Case {
    const char* what;
    size_t field;
    uint64_t value;
    size_t byteCount;
  } cases[] = {
      {"list longer than 256 KiB", 48, 0x7FFFFFFF, 8},
      {"runs that end before the highest VCN", 24, 0x7FFF, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Load("plain512"));
    const uint64_t many = RecordWithStream(intact_->index, u"stream_number_1");
    const Located record = Locate(*image_, many);
    const size_t list = AttributeOffset(record.bytes, kAttributeList);
    ASSERT_NE(list, 0u);
    ASSERT_EQ(record.bytes[list + 8], 1) << "list expected non-resident";
    PatchRecord(*image_, record, list + c.field, c.value, c.byteCount);
    const auto damaged = Build(*image_);
    ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
    EXPECT_EQ(damaged->index.Counts().unresolvedCount, 1u);
    ExpectOthersIntact(intact_->index, damaged->index, {many});
  }
}

TEST_F(Damage, CutImage) {
  ASSERT_NO_FATAL_FAILURE(Load("plain512"));
  MftVolume volume(image_->Reader());
  ASSERT_EQ(volume.Open(), MftOpenStatus::kOpened);
  const uint64_t mftOffset = volume.Geometry().mftCluster * volume.Geometry().clusterLength;
  const uint64_t recordLength = volume.Geometry().recordLength;
  const uint64_t cutRecord = 70;
  struct Case {
    uint64_t length;
    MftIndexStatus status;
  } cases[] = {
      {0, MftIndexStatus::kBootUnreadable},
      {100, MftIndexStatus::kBootUnreadable},
      {512, MftIndexStatus::kMftUnreadable},
      {mftOffset, MftIndexStatus::kMftUnreadable},
      {mftOffset + cutRecord * recordLength + 100, MftIndexStatus::kBuilt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("cut at " + std::to_string(c.length));
    ImageVolume cut(ImagePath("plain512"));
    cut.LimitLength(c.length);
    const auto damaged = Build(cut);
    EXPECT_EQ(damaged->result.status, c.status);
    if (c.status != MftIndexStatus::kBuilt) {
      EXPECT_TRUE(damaged->index.Files().empty());
      continue;
    }
    std::vector<uint64_t> lost;
    for (const MftStreamFile& file : intact_->index.Files()) {
      if (file.recordNumber >= cutRecord) lost.push_back(file.recordNumber);
    }
    ASSERT_FALSE(lost.empty());
    ExpectOthersIntact(intact_->index, damaged->index, lost);
    EXPECT_EQ(damaged->index.Counts().unreadableCount,
              damaged->index.Counts().recordCount - cutRecord);
  }
}

TEST_F(Damage, UnreadableSectorCostsOnlyItsRecord) {
  ASSERT_NO_FATAL_FAILURE(Load("plain512"));
  const uint64_t target = RecordWithStream(intact_->index, u"test");
  const Located record = Locate(*image_, target);
  image_->FailRange(record.offset + 512, 512);
  const auto damaged = Build(*image_);
  ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
  EXPECT_EQ(damaged->index.Counts().unreadableCount, 1u);
  ExpectOthersIntact(intact_->index, damaged->index, {target});
}

TEST_F(Damage, WrongRecordSizeByte) {
  struct Case {
    const char* image;
    uint8_t field;
    MftIndexStatus status;
  } cases[] = {
      {"plain512", 0xF6, MftIndexStatus::kBuilt},          // 2^10: as made
      {"plain512", 0xF5, MftIndexStatus::kMftUnreadable},  // 2^11: update sequence too short
      {"plain512", 0xF7, MftIndexStatus::kMftUnreadable},  // 2^9
      {"plain512", 0x02, MftIndexStatus::kMftUnreadable},  // two clusters
      {"plain512", 0x00, MftIndexStatus::kBadBootSector},
      {"plain512", 0x03, MftIndexStatus::kBadBootSector},  // not a power of two
      {"plain512", 0x7F, MftIndexStatus::kBadBootSector},
      {"plain512", 0xEF, MftIndexStatus::kBadBootSector},  // 2^17
      {"plain512", 0x80, MftIndexStatus::kBadBootSector},
      {"plain4096", 0x01, MftIndexStatus::kBuilt},          // one cluster of 4 KiB: as made
      {"plain4096", 0xF4, MftIndexStatus::kBuilt},          // 2^12, the same length
      {"plain4096", 0xF6, MftIndexStatus::kBadBootSector},  // smaller than a sector
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.image) + " " + std::to_string(c.field));
    ImageVolume image(ImagePath(c.image));
    image.PatchLe(0x40, c.field, 1);
    const auto built = Build(image);
    EXPECT_EQ(built->result.status, c.status);
    EXPECT_EQ(built->result.format, VolumeFormat::kNtfs);
    EXPECT_EQ(built->index.Files().empty(), c.status != MftIndexStatus::kBuilt);
  }
}

TEST_F(Damage, TornRecordZeroIsReadFromTheMirror) {
  ASSERT_NO_FATAL_FAILURE(Load("plain512"));
  MftVolume volume(image_->Reader());
  ASSERT_EQ(volume.Open(), MftOpenStatus::kOpened);
  const uint64_t cluster = volume.Geometry().clusterLength;
  TearBlockEnd(*image_, volume.Geometry().mftCluster * cluster + 510);
  MftVolume mirrored(image_->Reader());
  ASSERT_EQ(mirrored.Open(), MftOpenStatus::kOpened);
  EXPECT_TRUE(mirrored.UsedMirror());
  const auto damaged = Build(*image_);
  ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
  ExpectOthersIntact(intact_->index, damaged->index, {});
  // Both copies torn: no map of $MFT at all.
  TearBlockEnd(*image_, volume.Geometry().mftMirrorCluster * cluster + 510);
  EXPECT_EQ(Build(*image_)->result.status, MftIndexStatus::kMftUnreadable);
}

// The $DATA runs of record 0 (and of its mirror copy) of the fragmented image.
TEST_F(Damage, ForgedMftRunsAreRefused) {
  NTFS_REQUIRE_IMAGE("fragmented");
  struct Case {
    const char* what;
    bool secondRun;  // patch the second run's cluster offset, else the first's
    uint8_t fill;
  } cases[] = {
      {"second run maps the first run's clusters again", true, 0x00},
      {"first run starts past the volume", false, 0x7F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ImageVolume image(ImagePath("fragmented"));
    MftVolume volume(image.Reader());
    ASSERT_EQ(volume.Open(), MftOpenStatus::kOpened);
    const uint64_t cluster = volume.Geometry().clusterLength;
    for (uint64_t copy : {volume.Geometry().mftCluster, volume.Geometry().mftMirrorCluster}) {
      const uint64_t offset = copy * cluster;
      std::vector<unsigned char> bytes = image.Bytes(offset, volume.Geometry().recordLength);
      ASSERT_TRUE(ApplyRecordFixups(bytes.data(), bytes.size()));
      const size_t data = AttributeOffset(bytes, kDataAttribute, u"", false);
      ASSERT_NE(data, 0u);
      size_t run = data + LoadLe16(bytes.data() + data + 32);
      if (c.secondRun) run += 1 + (bytes[run] & 0x0F) + (bytes[run] >> 4);
      const size_t lengthBytes = bytes[run] & 0x0F;
      const size_t offsetBytes = bytes[run] >> 4;
      ASSERT_GT(offsetBytes, 0u);
      std::vector<unsigned char> delta(offsetBytes, c.fill);
      image.Patch(offset + run + 1 + lengthBytes, delta);
    }
    EXPECT_EQ(Build(image)->result.status, MftIndexStatus::kMftUnreadable);
  }
}

TEST_F(Damage, FolderInExtendTreeHidesItsFilesStreams) {
  NTFS_REQUIRE_IMAGE("mounted512");
  ASSERT_NO_FATAL_FAILURE(Load("mounted512"));
  const uint64_t sub = FolderRecord("mounted512", "sub");
  const Located record = Locate(*image_, sub);
  const size_t name = AttributeOffset(record.bytes, kFileNameAttribute);
  ASSERT_NE(name, 0u);
  const Located extend = Locate(*image_, kExtendRecord);
  PatchRecord(*image_, record, name + LoadLe16(record.bytes.data() + name + 20),
              MakeFileReference(kExtendRecord, LoadLe16(extend.bytes.data() + 16)), 8);
  const auto damaged = Build(*image_);
  ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
  EXPECT_EQ(damaged->index.Counts().extendCount, 1u);
  ExpectOthersIntact(intact_->index, damaged->index, {RecordWithStream(intact_->index, u"deep")});
}

TEST_F(Damage, FolderCycleBreaksOnlyThePathsThroughIt) {
  NTFS_REQUIRE_IMAGE("mounted512");
  ASSERT_NO_FATAL_FAILURE(Load("mounted512"));
  // dir's parent becomes its own subfolder sub: dir -> sub -> dir -> ...
  const uint64_t dir = FolderRecord("mounted512", "dir");
  const uint64_t sub = FolderRecord("mounted512", "sub");
  const Located record = Locate(*image_, dir);
  const Located subRecord = Locate(*image_, sub);
  const size_t name = AttributeOffset(record.bytes, kFileNameAttribute);
  PatchRecord(*image_, record, name + LoadLe16(record.bytes.data() + name + 20),
              MakeFileReference(sub, LoadLe16(subRecord.bytes.data() + 16)), 8);
  const auto damaged = Build(*image_);
  ASSERT_EQ(damaged->result.status, MftIndexStatus::kBuilt);
  ExpectOthersIntact(intact_->index, damaged->index, {});
  const MftStreamFile* file = nullptr;
  ASSERT_EQ(damaged->index.FindRecord(RecordWithStream(intact_->index, u"alpha"), &file),
            MftLookup::kStreams);
  const auto paths = damaged->index.PathsOf(*file);
  EXPECT_EQ(paths, std::vector<std::u16string>{u"\\other\\link2.txt"});
}

TEST_F(Damage, CancelLeavesAnEmptyIndex) {
  ASSERT_NO_FATAL_FAILURE(Load("plain512"));
  int polls = 0;
  MftIndexOptions options;
  options.cancelRequested = [&polls] { return ++polls > 1; };
  MftStreamIndex index;
  EXPECT_EQ(BuildMftStreamIndex(image_->Reader(), options, &index).status,
            MftIndexStatus::kCancelled);
  EXPECT_TRUE(index.Files().empty());
  EXPECT_EQ(index.Find(intact_->index.Files().front().FileReference(), nullptr),
            MftLookup::kUnknown);
}

}  // namespace
