// Per-entry stream source and per-tree indexes of the folder walk.
#include "indexed_walk.h"

#include "stream_records.h"

namespace tarvex {

EntryStreams LookUpEntryStreams(const MftStreamIndex* index, uint64_t fileReference,
                                bool isReparsePoint, const MftStreamFile** file) {
  if (index == nullptr || fileReference == 0 || isReparsePoint) return EntryStreams::kQueryFile;
  const MftLookup lookup = SequenceNumberOf(fileReference) == 0
                               ? index->FindRecord(RecordNumberOf(fileReference), file)
                               : index->Find(fileReference, file);
  switch (lookup) {
    case MftLookup::kNoStreams:
      return EntryStreams::kNone;
    case MftLookup::kStreams:
      return EntryStreams::kFromIndex;
    case MftLookup::kUnknown:
      break;
  }
  return EntryStreams::kQueryFile;
}

std::vector<std::u16string> IndexedStreamSuffixes(const MftStreamFile& file) {
  std::vector<std::u16string> suffixes;
  for (const MftStream& stream : file.streams) {
    if (auto suffix = StreamPathSuffix(u":" + stream.name + u":$DATA", file.isDirectory)) {
      suffixes.push_back(std::move(*suffix));
    }
  }
  return suffixes;
}

TreeIndexes::Answer TreeIndexes::ForPath(const WalkPath& path) {
  if (trees_.size() <= path.tree) trees_.resize(path.tree + 1);
  Tree& tree = trees_[path.tree];
  if (!tree.tried) {
    tree.tried = true;
    auto index = std::make_unique<MftStreamIndex>();
    switch (builder_(path, index.get())) {
      case TreeIndexOutcome::kBuilt:
        tree.index = std::move(index);
        break;
      case TreeIndexOutcome::kCancelled:
        tree.cancelled = true;
        break;
      case TreeIndexOutcome::kUnavailable:
        break;
    }
  }
  return Answer{tree.index.get(), tree.cancelled};
}

void TreeIndexes::LeaveTreesBefore(size_t tree) {
  for (size_t i = 0; i < tree && i < trees_.size(); ++i) trees_[i].index.reset();
}

}  // namespace tarvex
