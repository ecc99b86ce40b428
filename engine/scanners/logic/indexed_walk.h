// The folder walk's use of master-file-table indexes: one index per tree of
// the walk (the volume it lies on), built when the walk first meets the tree
// and released when the walk has gone past it, and the rule that decides,
// entry by entry, where an entry's named streams come from. Any doubt leads
// to the per-file stream query, so an index can only spare work, never lose
// a stream the query would have found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "folder_walk.h"
#include "mft_stream_index.h"

namespace tarvex {

enum class EntryStreams {
  kQueryFile,  // ask the file itself (the per-file stream query)
  kNone,       // the index read the entry's record whole: no named streams
  kFromIndex,  // the index's account of the entry's streams
};

// Where the streams of an entry with this file reference come from. No index,
// no reference (0), and a record the index does not know (unread, torn,
// reused since, metadata, created after the index was built) all mean the
// per-file query. So does a reparse point (junction, mount point, symbolic
// link): opening it follows it, so what the per-file query lists are the
// streams of its target, which need not even lie on this volume. A reference without a sequence
// number (0 in the high 16 bits) is looked up by record number alone: that is for platforms that do
// not report the sequence number (ntfs-3g's FUSE mount hands the record
// number out as the inode number, and Wine passes that on as the file id);
// NTFS on Windows always reports it. *file is set for kFromIndex.
EntryStreams LookUpEntryStreams(const MftStreamIndex* index, uint64_t fileReference,
                                bool isReparsePoint, const MftStreamFile** file);

// What follows the entry's path in the path of each of its streams, in the
// index's order: exactly what the per-file query's records give for them
// (StreamPathSuffix of ":name:$DATA"), so entries and report do not depend
// on where the names came from.
std::vector<std::u16string> IndexedStreamSuffixes(const MftStreamFile& file);

enum class TreeIndexOutcome {
  kBuilt,
  kUnavailable,  // not NTFS, no rights, no raw volume, a failed read or check: per-file queries
  kCancelled,    // a cancel came while the index was built: the walk stops
};

// The indexes of the trees of one walk.
class TreeIndexes {
 public:
  // Builds the index of the volume that treeStart (a start folder or drive
  // root) lies on into *index.
  using Builder = std::function<TreeIndexOutcome(const WalkPath& treeStart, MftStreamIndex* index)>;
  explicit TreeIndexes(Builder builder) : builder_(std::move(builder)) {}

  struct Answer {
    const MftStreamIndex* index = nullptr;  // null: this tree has no index
    bool cancelled = false;                 // the build was cancelled: scan nothing more
  };
  // The index of path's tree. The first path met of a tree must be the
  // tree's start; the index is built then, once per tree.
  Answer ForPath(const WalkPath& path);
  // The walk has moved on to this tree: trees before it are never met again
  // (a walk finishes one tree before it takes up the next), so their indexes go.
  void LeaveTreesBefore(size_t tree);

 private:
  struct Tree {
    bool tried = false;
    bool cancelled = false;
    std::unique_ptr<MftStreamIndex> index;
  };
  Builder builder_;
  std::vector<Tree> trees_;
};

}  // namespace tarvex
