// One pass over $MFT in large aligned chunks, then the joins that need other
// records: bases with attribute lists, and the folders above the stream files.
#include "mft_stream_index.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>

namespace tarvex {
namespace {

// A run of unreadable $MFT this long ends the build: the volume is failing or
// its boot sector lies about its size, and per-file queries are the better way.
constexpr uint64_t kUnreadableRunMaxLength = 16u << 20;
// Folder records close together are read in one piece up to this length.
constexpr size_t kFolderReadMaxLength = 64u << 10;

struct StreamPiece {
  std::u16string name;
  uint64_t lowestVcn = 0;
  uint64_t length = 0;
  uint32_t flags = 0;
};

// What one record holds that the index needs, copied out of the read buffer.
struct RecordPieces {
  uint64_t recordNumber = 0;
  uint16_t sequenceNumber = 0;
  uint64_t baseReference = 0;
  bool isDirectory = false;
  std::vector<MftLink> links;
  std::vector<StreamPiece> streams;
  bool hasList = false;
  bool listNonResident = false;
  bool listBad = false;                  // runs undecodable or too long
  std::vector<unsigned char> listBytes;  // resident list
  std::vector<DataRun> listRuns;         // non-resident list
  uint64_t listLength = 0;
};

// Views into one record: its header and the attributes the index cares about.
struct RecordScan {
  RecordHeader header;
  std::vector<FileNameView> names;  // without DOS aliases
  std::vector<AttributeView> namedData;
  AttributeView list;
  bool hasList = false;
};

uint32_t StreamFlagsOf(const AttributeView& attribute) {
  uint32_t flags = 0;
  if (attribute.nonResident) flags |= kMftStreamNonResident;
  if ((attribute.flags & kAttributeSparse) != 0) flags |= kMftStreamSparse;
  if ((attribute.flags & kAttributeCompressedMask) != 0) flags |= kMftStreamCompressed;
  if ((attribute.flags & kAttributeEncrypted) != 0) flags |= kMftStreamEncrypted;
  return flags;
}

// Header and attributes of a record with its fixups applied. False when the
// record is no file record or something in it is out of bounds; a record not
// in use comes back true with no attributes read.
bool ScanRecord(const unsigned char* record, size_t recordLength, RecordScan* scan) {
  scan->names.clear();
  scan->namedData.clear();
  scan->hasList = false;
  if (!ReadRecordHeader(record, recordLength, &scan->header)) return false;
  if (!scan->header.InUse()) return true;
  AttributeWalk walk(record, scan->header);
  AttributeView attribute;
  while (walk.Next(&attribute)) {
    if (attribute.type == kFileNameAttribute) {
      FileNameView name;
      if (!ReadFileName(attribute, &name)) return false;
      if (name.nameSpace != kDosNamespace) scan->names.push_back(name);
    } else if (attribute.type == kDataAttribute && attribute.nameChars != 0) {
      scan->namedData.push_back(attribute);
    } else if (attribute.type == kAttributeList) {
      if (scan->hasList) return false;
      scan->hasList = true;
      scan->list = attribute;
    }
  }
  return !walk.Malformed();
}

RecordPieces CopyPieces(uint64_t recordNumber, const RecordScan& scan) {
  RecordPieces pieces;
  pieces.recordNumber = recordNumber;
  pieces.sequenceNumber = scan.header.sequenceNumber;
  pieces.baseReference = scan.header.baseReference;
  pieces.isDirectory = scan.header.IsDirectory();
  for (const FileNameView& name : scan.names) {
    pieces.links.push_back({name.parentReference, NameFromLe(name.name, name.nameChars)});
  }
  for (const AttributeView& data : scan.namedData) {
    StreamPiece piece;
    piece.name = NameFromLe(data.name, data.nameChars);
    piece.lowestVcn = data.nonResident ? data.lowestVcn : 0;
    piece.length = data.nonResident ? data.dataLength : data.valueLength;
    piece.flags = StreamFlagsOf(data);
    pieces.streams.push_back(std::move(piece));
  }
  if (scan.hasList) {
    pieces.hasList = true;
    if (!scan.list.nonResident) {
      pieces.listBytes.assign(scan.list.value, scan.list.value + scan.list.valueLength);
    } else {
      pieces.listNonResident = true;
      pieces.listLength = scan.list.dataLength;
      pieces.listBad = scan.list.lowestVcn != 0 || pieces.listLength > kAttributeListMaxLength ||
                       !DecodeDataRuns(scan.list, &pieces.listRuns);
    }
  }
  return pieces;
}

void AddLink(std::vector<MftLink>* links, const MftLink& link) {
  for (const MftLink& known : *links) {
    if (known.parentReference == link.parentReference && known.name == link.name) return;
  }
  links->push_back(link);
}

const StreamPiece* FindPiece(const std::vector<StreamPiece>& pieces,
                             const AttributeListEntry& entry) {
  for (const StreamPiece& piece : pieces) {
    if (piece.lowestVcn == entry.lowestVcn && NameEquals(entry.name, entry.nameChars, piece.name)) {
      return &piece;
    }
  }
  return nullptr;
}

using ExtensionLookup = std::function<const RecordPieces*(uint64_t recordNumber)>;

// Joins a base record with the pieces its attribute list places in extension
// records. Pieces of one stream are joined by name (attribute ids are per
// record); the stream's length and flags come from its piece at VCN 0. With a
// list, streams come in the list's order (the order NTFS itself enumerates
// them in), else in the base record's. An entry whose record is missing,
// belongs to another base or was reused since makes the whole file unresolved.
bool AssembleFile(const RecordPieces& base, const std::vector<unsigned char>* list,
                  const ExtensionLookup& extension, MftStreamFile* file) {
  MftStreamFile assembled;
  assembled.recordNumber = base.recordNumber;
  assembled.sequenceNumber = base.sequenceNumber;
  assembled.isDirectory = base.isDirectory;
  assembled.links = base.links;
  std::vector<const StreamPiece*> pieces;
  std::unordered_set<const StreamPiece*> taken;
  auto take = [&](const StreamPiece* piece) {
    if (taken.insert(piece).second) pieces.push_back(piece);
  };
  if (list != nullptr) {
    const uint64_t baseReference = MakeFileReference(base.recordNumber, base.sequenceNumber);
    std::vector<uint64_t> nameRecords;
    AttributeListWalk walk(list->data(), list->size());
    AttributeListEntry entry;
    while (walk.Next(&entry)) {
      const bool namedData = entry.type == kDataAttribute && entry.nameChars != 0;
      if (!namedData && entry.type != kFileNameAttribute) continue;
      const uint64_t segment = RecordNumberOf(entry.segmentReference);
      if (segment == base.recordNumber) {
        if (!namedData) continue;  // the base's names are taken already
        // A piece the list places in the base must be there.
        const StreamPiece* found = FindPiece(base.streams, entry);
        if (found == nullptr) return false;
        take(found);
        continue;
      }
      const RecordPieces* holder = extension(segment);
      if (holder == nullptr || holder->baseReference != baseReference ||
          holder->sequenceNumber != SequenceNumberOf(entry.segmentReference)) {
        return false;
      }
      if (!namedData) {
        if (std::find(nameRecords.begin(), nameRecords.end(), segment) == nameRecords.end()) {
          nameRecords.push_back(segment);
          for (const MftLink& link : holder->links) AddLink(&assembled.links, link);
        }
        continue;
      }
      const StreamPiece* found = FindPiece(holder->streams, entry);
      if (found == nullptr) return false;
      take(found);
    }
    if (walk.Malformed()) return false;
  }
  for (const StreamPiece& piece : base.streams) take(&piece);  // all of them without a list
  std::unordered_map<std::u16string, size_t> streamAt;
  std::vector<bool> hasFirstPiece;
  for (const StreamPiece* piece : pieces) {
    auto known = streamAt.emplace(piece->name, assembled.streams.size());
    if (known.second) {
      MftStream stream;
      stream.name = piece->name;
      assembled.streams.push_back(std::move(stream));
      hasFirstPiece.push_back(false);
    }
    const size_t at = known.first->second;
    if (piece->lowestVcn == 0 && !hasFirstPiece[at]) {
      assembled.streams[at].length = piece->length;
      assembled.streams[at].flags = piece->flags;
      hasFirstPiece[at] = true;
    }
  }
  for (bool first : hasFirstPiece) {
    if (!first) return false;
  }
  *file = std::move(assembled);
  return true;
}

// The bytes of a record's attribute list, read from the volume when non-resident.
bool ListBytesOf(MftVolume& volume, const RecordPieces& pieces, std::vector<unsigned char>* bytes) {
  if (!pieces.listNonResident) {
    *bytes = pieces.listBytes;
    return true;
  }
  return !pieces.listBad && volume.ReadAttributeBytes(pieces.listRuns, pieces.listLength, bytes);
}

}  // namespace

class MftIndexBuilder {
 public:
  MftIndexBuilder(const VolumeReadAt& readAt, const MftIndexOptions& options, MftStreamIndex* index)
      : volume_(readAt), options_(options), index_(index) {}

  MftIndexResult Build();

 private:
  bool Cancelled() const { return options_.cancelRequested && options_.cancelRequested(); }
  MftIndexStatus ReadAllRecords();
  void TakeRecord(uint64_t recordNumber, unsigned char* record);
  void JoinDeferredBases();
  void ReadFolders();
  void ReadRecordGroups(const std::vector<uint64_t>& sortedRecords,
                        const std::function<void(uint64_t, unsigned char*)>& onRecord);
  MftStreamIndex::Folder ReadFolder(uint64_t recordNumber, unsigned char* record);
  void DropExtendTree();

  MftVolume volume_;
  const MftIndexOptions& options_;
  MftStreamIndex* index_;
  uint32_t recordLength_ = 0;
  AlignedBuffer chunk_;
  std::vector<unsigned char> readable_;
  RecordScan scan_;
  std::unordered_map<uint64_t, RecordPieces> extensions_;
  std::vector<RecordPieces> deferredBases_;
};

MftIndexResult MftIndexBuilder::Build() {
  MftIndexResult result;
  *index_ = MftStreamIndex();
  switch (volume_.Open()) {
    case MftOpenStatus::kOpened:
      break;
    case MftOpenStatus::kBootUnreadable:
      result.status = MftIndexStatus::kBootUnreadable;
      return result;
    case MftOpenStatus::kNotNtfs:
      result.status = MftIndexStatus::kNotNtfs;
      result.format = volume_.Format();
      return result;
    case MftOpenStatus::kBadBootSector:
      result.status = MftIndexStatus::kBadBootSector;
      result.format = volume_.Format();
      return result;
    case MftOpenStatus::kMftUnreadable:
      result.status = MftIndexStatus::kMftUnreadable;
      result.format = volume_.Format();
      return result;
  }
  result.format = volume_.Format();
  recordLength_ = volume_.Geometry().recordLength;
  index_->geometry_ = volume_.Geometry();
  index_->counts_.recordCount = volume_.RecordCount();
  result.status = ReadAllRecords();
  if (result.status == MftIndexStatus::kBuilt) {
    JoinDeferredBases();
    std::sort(index_->files_.begin(), index_->files_.end(),
              [](const MftStreamFile& a, const MftStreamFile& b) {
                return a.recordNumber < b.recordNumber;
              });
    if (Cancelled()) result.status = MftIndexStatus::kCancelled;
  }
  if (result.status == MftIndexStatus::kBuilt) {
    ReadFolders();
    DropExtendTree();
    if (Cancelled()) result.status = MftIndexStatus::kCancelled;
  }
  if (result.status != MftIndexStatus::kBuilt) {
    *index_ = MftStreamIndex();
    return result;
  }
  uint64_t known = 0;
  for (uint16_t sequence : index_->sequenceNumbers_) known += sequence != 0 ? 1 : 0;
  index_->counts_.knownCount = known;
  index_->sequenceNumbers_.shrink_to_fit();
  return result;
}

MftIndexStatus MftIndexBuilder::ReadAllRecords() {
  const uint64_t recordCount = volume_.RecordCount();
  const size_t chunkRecords = std::max<size_t>(1, options_.chunkLength / recordLength_);
  chunk_.Resize(chunkRecords * recordLength_);
  uint64_t unreadableRun = 0;
  for (uint64_t first = 0; first < recordCount; first += chunkRecords) {
    if (Cancelled()) return MftIndexStatus::kCancelled;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(chunkRecords, recordCount - first));
    volume_.ReadRecordSpan(first, count, chunk_.Data(), &readable_);
    index_->sequenceNumbers_.resize(first + count, 0);
    for (size_t i = 0; i < count; ++i) {
      if (!readable_[i]) {
        ++index_->counts_.unreadableCount;
        unreadableRun += recordLength_;
        if (unreadableRun > kUnreadableRunMaxLength) return MftIndexStatus::kMftUnreadable;
        continue;
      }
      unreadableRun = 0;
      TakeRecord(first + i, chunk_.Data() + i * recordLength_);
    }
  }
  return MftIndexStatus::kBuilt;
}

void MftIndexBuilder::TakeRecord(uint64_t recordNumber, unsigned char* record) {
  MftIndexCounts& counts = index_->counts_;
  // Records never written, and those Windows marked "BAAD", are not known.
  if (std::memcmp(record, "FILE", 4) != 0) return;
  if (!ApplyRecordFixups(record, recordLength_)) {
    ++counts.tornCount;
    return;
  }
  if (!ScanRecord(record, recordLength_, &scan_)) {
    ++counts.malformedCount;
    return;
  }
  const RecordHeader& header = scan_.header;
  if (!header.InUse()) return;
  // A record copied to the wrong place (its own number disagrees) is not trusted.
  if (header.hasRecordNumber && header.recordNumber != static_cast<uint32_t>(recordNumber)) {
    ++counts.malformedCount;
    return;
  }
  if (header.baseReference != 0) {
    if (!scan_.names.empty() || !scan_.namedData.empty()) {
      extensions_[recordNumber] = CopyPieces(recordNumber, scan_);
    }
    return;
  }
  // Metadata files other than the root folder are never entries.
  if (recordNumber < kFirstUserRecord && recordNumber != kRootFolderRecord) return;
  if (scan_.hasList) {
    deferredBases_.push_back(CopyPieces(recordNumber, scan_));
    return;
  }
  index_->sequenceNumbers_[recordNumber] = header.sequenceNumber;
  if (scan_.namedData.empty()) return;
  MftStreamFile file;
  if (AssembleFile(CopyPieces(recordNumber, scan_), nullptr, nullptr, &file)) {
    index_->files_.push_back(std::move(file));
  } else {
    index_->sequenceNumbers_[recordNumber] = 0;
    ++counts.unresolvedCount;
  }
}

void MftIndexBuilder::JoinDeferredBases() {
  const ExtensionLookup lookup = [this](uint64_t recordNumber) -> const RecordPieces* {
    auto found = extensions_.find(recordNumber);
    return found == extensions_.end() ? nullptr : &found->second;
  };
  std::vector<unsigned char> list;
  for (const RecordPieces& base : deferredBases_) {
    MftStreamFile file;
    if (!ListBytesOf(volume_, base, &list) || !AssembleFile(base, &list, lookup, &file)) {
      ++index_->counts_.unresolvedCount;
      continue;
    }
    index_->sequenceNumbers_[base.recordNumber] = base.sequenceNumber;
    if (!file.streams.empty()) index_->files_.push_back(std::move(file));
  }
  deferredBases_.clear();
  extensions_.clear();
}

void MftIndexBuilder::ReadRecordGroups(
    const std::vector<uint64_t>& sortedRecords,
    const std::function<void(uint64_t, unsigned char*)>& onRecord) {
  const uint64_t groupRecords = std::max<size_t>(1, kFolderReadMaxLength / recordLength_);
  chunk_.Resize(groupRecords * recordLength_);
  size_t at = 0;
  while (at < sortedRecords.size()) {
    const uint64_t first = sortedRecords[at];
    size_t end = at + 1;
    while (end < sortedRecords.size() && sortedRecords[end] - first < groupRecords) ++end;
    const uint64_t span = sortedRecords[end - 1] - first + 1;
    volume_.ReadRecordSpan(first, static_cast<size_t>(span), chunk_.Data(), &readable_);
    for (size_t i = at; i < end; ++i) {
      const uint64_t offset = sortedRecords[i] - first;
      onRecord(sortedRecords[i],
               readable_[offset] ? chunk_.Data() + offset * recordLength_ : nullptr);
    }
    at = end;
  }
}

MftStreamIndex::Folder MftIndexBuilder::ReadFolder(uint64_t recordNumber, unsigned char* record) {
  MftStreamIndex::Folder folder;
  ++index_->counts_.folderRecordReads;
  if (record == nullptr || !ApplyRecordFixups(record, recordLength_) ||
      !ScanRecord(record, recordLength_, &scan_)) {
    return folder;
  }
  const RecordHeader header = scan_.header;
  if (!header.InUse() || !header.IsDirectory() || header.baseReference != 0 ||
      (header.hasRecordNumber && header.recordNumber != static_cast<uint32_t>(recordNumber))) {
    return folder;
  }
  folder.sequenceNumber = header.sequenceNumber;
  if (!scan_.names.empty()) {
    folder.parentReference = scan_.names.front().parentReference;
    folder.name = NameFromLe(scan_.names.front().name, scan_.names.front().nameChars);
    folder.usable = true;
    return folder;
  }
  if (!scan_.hasList) return folder;
  // The folder's name was moved to an extension record.
  const RecordPieces pieces = CopyPieces(recordNumber, scan_);
  std::vector<unsigned char> list;
  if (!ListBytesOf(volume_, pieces, &list)) return folder;
  const uint64_t baseReference = MakeFileReference(recordNumber, header.sequenceNumber);
  AttributeListWalk walk(list.data(), list.size());
  AttributeListEntry entry;
  std::vector<unsigned char> extension;
  while (walk.Next(&entry)) {
    const uint64_t segment = RecordNumberOf(entry.segmentReference);
    if (entry.type != kFileNameAttribute || segment == recordNumber) continue;
    ++index_->counts_.folderRecordReads;
    if (!volume_.ReadRecord(segment, &extension) ||
        !ScanRecord(extension.data(), extension.size(), &scan_)) {
      return folder;
    }
    if (!scan_.header.InUse() || scan_.header.baseReference != baseReference ||
        scan_.header.sequenceNumber != SequenceNumberOf(entry.segmentReference)) {
      return folder;
    }
    if (!scan_.names.empty()) {
      folder.parentReference = scan_.names.front().parentReference;
      folder.name = NameFromLe(scan_.names.front().name, scan_.names.front().nameChars);
      folder.usable = true;
      return folder;
    }
  }
  return folder;
}

// Reads the folders above the stream files, level by level, each once; the
// records of one level are read in sorted order, close ones together.
void MftIndexBuilder::ReadFolders() {
  auto& folders = index_->folders_;
  std::vector<uint64_t> wanted;
  for (const MftStreamFile& file : index_->files_) {
    for (const MftLink& link : file.links) wanted.push_back(RecordNumberOf(link.parentReference));
  }
  for (size_t depth = 0; !wanted.empty() && depth < kMaxPathDepth && !Cancelled(); ++depth) {
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    wanted.erase(std::remove_if(wanted.begin(), wanted.end(),
                                [&](uint64_t record) {
                                  return record == kRootFolderRecord || record == kExtendRecord ||
                                         record >= volume_.RecordCount() ||
                                         folders.count(record) != 0;
                                }),
                 wanted.end());
    std::vector<uint64_t> next;
    ReadRecordGroups(wanted, [&](uint64_t recordNumber, unsigned char* record) {
      MftStreamIndex::Folder folder = ReadFolder(recordNumber, record);
      if (folder.usable) next.push_back(RecordNumberOf(folder.parentReference));
      folders.emplace(recordNumber, std::move(folder));
    });
    wanted.swap(next);
  }
}

void MftIndexBuilder::DropExtendTree() {
  auto& files = index_->files_;
  std::vector<const std::u16string*> names;
  auto inExtendTree = [&](const MftStreamFile& file) {
    if (file.recordNumber == kRootFolderRecord) return false;
    for (const MftLink& link : file.links) {
      if (index_->WalkToRoot(link, &names) == MftStreamIndex::ChainEnd::kExtendTree) return true;
    }
    return false;
  };
  for (const MftStreamFile& file : files) {
    if (inExtendTree(file)) {
      index_->sequenceNumbers_[file.recordNumber] = 0;
      ++index_->counts_.extendCount;
    }
  }
  files.erase(std::remove_if(files.begin(), files.end(),
                             [&](const MftStreamFile& file) {
                               return index_->sequenceNumbers_[file.recordNumber] == 0;
                             }),
              files.end());
}

MftLookup MftStreamIndex::FindRecord(uint64_t recordNumber, const MftStreamFile** file) const {
  if (recordNumber >= sequenceNumbers_.size() || sequenceNumbers_[recordNumber] == 0) {
    return MftLookup::kUnknown;
  }
  auto found = std::lower_bound(
      files_.begin(), files_.end(), recordNumber,
      [](const MftStreamFile& f, uint64_t record) { return f.recordNumber < record; });
  if (found == files_.end() || found->recordNumber != recordNumber) return MftLookup::kNoStreams;
  if (file != nullptr) *file = &*found;
  return MftLookup::kStreams;
}

MftLookup MftStreamIndex::Find(uint64_t fileReference, const MftStreamFile** file) const {
  const uint64_t recordNumber = RecordNumberOf(fileReference);
  if (recordNumber >= sequenceNumbers_.size() ||
      sequenceNumbers_[recordNumber] != SequenceNumberOf(fileReference)) {
    return MftLookup::kUnknown;
  }
  return FindRecord(recordNumber, file);
}

MftStreamIndex::ChainEnd MftStreamIndex::WalkToRoot(
    const MftLink& link, std::vector<const std::u16string*>* names) const {
  names->clear();
  std::unordered_set<uint64_t> seen;
  uint64_t parent = link.parentReference;
  for (size_t depth = 0; depth <= kMaxPathDepth; ++depth) {
    const uint64_t record = RecordNumberOf(parent);
    if (record == kRootFolderRecord) {
      const bool rootKnown =
          sequenceNumbers_.size() > kRootFolderRecord && sequenceNumbers_[kRootFolderRecord] != 0;
      return rootKnown && sequenceNumbers_[kRootFolderRecord] == SequenceNumberOf(parent)
                 ? ChainEnd::kRoot
                 : ChainEnd::kBroken;
    }
    if (record == kExtendRecord) return ChainEnd::kExtendTree;
    auto found = folders_.find(record);
    if (found == folders_.end() || !found->second.usable ||
        found->second.sequenceNumber != SequenceNumberOf(parent) || !seen.insert(record).second) {
      return ChainEnd::kBroken;
    }
    names->push_back(&found->second.name);
    parent = found->second.parentReference;
  }
  return ChainEnd::kBroken;
}

std::vector<std::u16string> MftStreamIndex::PathsOf(const MftStreamFile& file) const {
  std::vector<std::u16string> paths;
  if (file.recordNumber == kRootFolderRecord) {
    paths.push_back(u"\\");
    return paths;
  }
  std::vector<const std::u16string*> names;
  for (const MftLink& link : file.links) {
    if (WalkToRoot(link, &names) != ChainEnd::kRoot) continue;
    std::u16string path;
    for (auto folder = names.rbegin(); folder != names.rend(); ++folder) {
      path += u'\\';
      path += **folder;
    }
    path += u'\\';
    path += link.name;
    paths.push_back(std::move(path));
  }
  return paths;
}

size_t MftStreamIndex::MemoryLength() const {
  size_t length =
      sequenceNumbers_.capacity() * sizeof(uint16_t) + files_.capacity() * sizeof(MftStreamFile);
  for (const MftStreamFile& file : files_) {
    length += file.links.capacity() * sizeof(MftLink) + file.streams.capacity() * sizeof(MftStream);
    for (const MftLink& link : file.links) length += link.name.capacity() * sizeof(char16_t);
    for (const MftStream& stream : file.streams) {
      length += stream.name.capacity() * sizeof(char16_t);
    }
  }
  for (const auto& folder : folders_) {
    length += sizeof(folder) + 2 * sizeof(void*) + folder.second.name.capacity() * sizeof(char16_t);
  }
  return length;
}

MftLookup ReadMftStreamFile(MftVolume& volume, uint64_t fileReference, MftStreamFile* file) {
  const uint64_t recordNumber = RecordNumberOf(fileReference);
  const uint32_t recordLength = volume.Geometry().recordLength;
  if (recordNumber < kFirstUserRecord && recordNumber != kRootFolderRecord) {
    return MftLookup::kUnknown;
  }
  std::vector<unsigned char> record;
  RecordScan scan;
  if (!volume.ReadRecord(recordNumber, &record) ||
      !ScanRecord(record.data(), recordLength, &scan)) {
    return MftLookup::kUnknown;
  }
  const RecordHeader& header = scan.header;
  if (!header.InUse() || header.baseReference != 0 ||
      header.sequenceNumber != SequenceNumberOf(fileReference) ||
      (header.hasRecordNumber && header.recordNumber != static_cast<uint32_t>(recordNumber))) {
    return MftLookup::kUnknown;
  }
  const RecordPieces base = CopyPieces(recordNumber, scan);
  MftStreamFile assembled;
  if (!base.hasList) {
    if (base.streams.empty()) return MftLookup::kNoStreams;
    if (!AssembleFile(base, nullptr, nullptr, &assembled)) return MftLookup::kUnknown;
  } else {
    std::vector<unsigned char> list;
    if (!ListBytesOf(volume, base, &list)) return MftLookup::kUnknown;
    // Extension records are read as the list names them, each once.
    std::unordered_map<uint64_t, std::unique_ptr<RecordPieces>> extensions;
    const ExtensionLookup lookup = [&](uint64_t segment) -> const RecordPieces* {
      auto known = extensions.find(segment);
      if (known != extensions.end()) return known->second.get();
      std::unique_ptr<RecordPieces> pieces;
      std::vector<unsigned char> bytes;
      RecordScan extensionScan;
      if (volume.ReadRecord(segment, &bytes) &&
          ScanRecord(bytes.data(), recordLength, &extensionScan) && extensionScan.header.InUse() &&
          (!extensionScan.header.hasRecordNumber ||
           extensionScan.header.recordNumber == static_cast<uint32_t>(segment))) {
        pieces = std::make_unique<RecordPieces>(CopyPieces(segment, extensionScan));
      }
      return extensions.emplace(segment, std::move(pieces)).first->second.get();
    };
    if (!AssembleFile(base, &list, lookup, &assembled)) return MftLookup::kUnknown;
    if (assembled.streams.empty()) return MftLookup::kNoStreams;
  }
  *file = std::move(assembled);
  return MftLookup::kStreams;
}

MftIndexResult BuildMftStreamIndex(const VolumeReadAt& readAt, const MftIndexOptions& options,
                                   MftStreamIndex* index) {
  try {
    MftIndexBuilder builder(readAt, options, index);
    return builder.Build();
  } catch (const std::bad_alloc&) {
    // A volume larger than the address space allows (a 32-bit process), or a
    // machine out of memory: no index, so the walk asks each file instead.
    *index = MftStreamIndex();
    MftIndexResult result;
    result.status = MftIndexStatus::kNoMemory;
    result.format = VolumeFormat::kNtfs;
    return result;
  }
}

}  // namespace tarvex
