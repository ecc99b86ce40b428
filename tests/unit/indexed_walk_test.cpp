// The folder walk's use of master-file-table indexes without a volume: the
// per-tree builds and what an entry is asked for when there is no index. The
// lookups in a real index are tested over ntfs-3g's images (tests/ntfs).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scanners/logic/indexed_walk.h"
#include "scanners/logic/stream_records.h"

using namespace tarvex;

namespace {

MftStreamFile FileWithStreams(bool isDirectory, std::vector<std::u16string> names) {
  MftStreamFile file;
  file.recordNumber = 64;
  file.sequenceNumber = 3;
  file.isDirectory = isDirectory;
  for (std::u16string& name : names) file.streams.push_back(MftStream{std::move(name), 1, 0});
  return file;
}

TEST(IndexedWalk, StreamSuffixesAreThoseOfTheStreamQuery) {
  // Names with blanks and dots at either end, a colon-free device name, and
  // names beyond the ANSI code page: each comes back as ":" + name, exactly
  // what the stream query's record ":name:$DATA" gives, for files and folders.
  const std::vector<std::u16string> names{u"s",   u"s.",           u" lead", u"trail ",
                                          u"nul", u"\u0436\u6587", u"$DATA"};
  for (const bool isDirectory : {false, true}) {
    const std::vector<std::u16string> suffixes =
        IndexedStreamSuffixes(FileWithStreams(isDirectory, names));
    ASSERT_EQ(names.size(), suffixes.size());
    for (size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(u":" + names[i], suffixes[i]) << i;
      EXPECT_EQ(StreamPathSuffix(u":" + names[i] + u":$DATA", isDirectory), suffixes[i]) << i;
    }
  }
  EXPECT_TRUE(IndexedStreamSuffixes(FileWithStreams(false, {})).empty());
}

TEST(IndexedWalk, WithoutAnIndexOrAReferenceTheFileIsAsked) {
  const MftStreamIndex empty;  // what a failed build leaves: knows no record
  const MftStreamFile* file = nullptr;
  EXPECT_EQ(EntryStreams::kQueryFile,
            LookUpEntryStreams(nullptr, MakeFileReference(64, 1), false, &file));
  EXPECT_EQ(EntryStreams::kQueryFile, LookUpEntryStreams(&empty, 0, false, &file));
  EXPECT_EQ(EntryStreams::kQueryFile,
            LookUpEntryStreams(&empty, MakeFileReference(64, 1), false, &file));
  EXPECT_EQ(EntryStreams::kQueryFile, LookUpEntryStreams(&empty, 64, false, &file));
  EXPECT_EQ(nullptr, file);
}

// A builder that answers with a given outcome per tree and records its calls.
struct FakeBuilder {
  std::vector<TreeIndexOutcome> outcomes;  // by tree
  std::vector<std::u16string> calls;       // tree start texts
  TreeIndexes::Builder Get() {
    return [this](const WalkPath& start, MftStreamIndex*) {
      calls.push_back(start.text);
      return outcomes.at(start.tree);
    };
  }
};

TEST(IndexedWalk, EachTreeIsBuiltOnceWhenItsStartComes) {
  FakeBuilder builder;
  builder.outcomes = {TreeIndexOutcome::kBuilt, TreeIndexOutcome::kUnavailable,
                      TreeIndexOutcome::kBuilt};
  TreeIndexes indexes(builder.Get());
  const WalkPath c{u"C:\\", u"\\\\?\\C:\\", 0};
  const WalkPath d{u"D:\\", u"\\\\?\\D:\\", 1};
  const WalkPath e{u"E:\\", u"\\\\?\\E:\\", 2};
  const TreeIndexes::Answer first = indexes.ForPath(c);
  EXPECT_NE(nullptr, first.index);
  EXPECT_FALSE(first.cancelled);
  EXPECT_EQ(nullptr, indexes.ForPath(d).index);  // no index: per-file queries
  EXPECT_FALSE(indexes.ForPath(d).cancelled);
  EXPECT_NE(nullptr, indexes.ForPath(e).index);
  // Later paths of a tree get the same index without another build.
  EXPECT_EQ(first.index, indexes.ForPath(EntryWalkPath(c, u"sub")).index);
  EXPECT_EQ(nullptr, indexes.ForPath(EntryWalkPath(d, u"sub")).index);
  EXPECT_EQ((std::vector<std::u16string>{u"C:\\", u"D:\\", u"E:\\"}), builder.calls);

  // Moving on to tree 2 releases trees 0 and 1 and keeps tree 2's index.
  const MftStreamIndex* third = indexes.ForPath(e).index;
  indexes.LeaveTreesBefore(2);
  EXPECT_EQ(nullptr, indexes.ForPath(c).index);
  EXPECT_EQ(third, indexes.ForPath(e).index);
  EXPECT_EQ(3u, builder.calls.size());
}

TEST(IndexedWalk, ACancelledBuildStopsTheTree) {
  FakeBuilder builder;
  builder.outcomes = {TreeIndexOutcome::kCancelled};
  TreeIndexes indexes(builder.Get());
  const WalkPath start{u"D:\\data", u"\\\\?\\D:\\data", 0};
  EXPECT_TRUE(indexes.ForPath(start).cancelled);
  EXPECT_EQ(nullptr, indexes.ForPath(start).index);
  EXPECT_TRUE(indexes.ForPath(EntryWalkPath(start, u"x")).cancelled);
  EXPECT_EQ(1u, builder.calls.size());
}

}  // namespace
