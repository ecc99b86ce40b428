// The named data streams of an NTFS volume, read from its master file table
// in one sequential pass: an index keyed by file reference that a folder walk
// asks instead of querying each file, and the paths of the files it names.
//
// Memory: the index keeps names only for the files that have named streams
// (their links and stream names) and for the folders above them (one name
// each, read after the pass by record number, so a path can be rebuilt and
// $Extend's files left out). For every other record it keeps two bytes, its
// sequence number, so that "no streams" can be answered for exactly the file
// that was read and never for a record reused since.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "mft_volume.h"

namespace tarvex {

struct MftLink {
  uint64_t parentReference = 0;  // file reference of the folder that holds the name
  std::u16string name;
};

// MftStream::flags
constexpr uint32_t kMftStreamNonResident = 1u << 0;  // clear: the content lives in the record
constexpr uint32_t kMftStreamSparse = 1u << 1;
constexpr uint32_t kMftStreamCompressed = 1u << 2;
constexpr uint32_t kMftStreamEncrypted = 1u << 3;

struct MftStream {
  std::u16string name;  // without the leading colon and the ":$DATA" type
  uint64_t length = 0;  // bytes of content (for a non-resident stream: from its piece at VCN 0)
  uint32_t flags = 0;
};

// A file or folder with at least one named $DATA attribute.
struct MftStreamFile {
  uint64_t recordNumber = 0;
  uint16_t sequenceNumber = 0;
  bool isDirectory = false;
  std::vector<MftLink> links;      // every name but DOS aliases, from base and extension records
  std::vector<MftStream> streams;  // pieces in several records joined by name
  uint64_t FileReference() const { return MakeFileReference(recordNumber, sequenceNumber); }
};

enum class MftLookup {
  kUnknown,    // the index cannot tell (record unread, torn, unused when read, or reused since)
  kNoStreams,  // the record was read whole, in use with this sequence number, without named streams
  kStreams,
};

struct MftIndexCounts {
  uint64_t recordCount = 0;        // records in $MFT
  uint64_t knownCount = 0;         // files and folders the index can answer for
  uint64_t unreadableCount = 0;    // records that could not be read
  uint64_t tornCount = 0;          // failed the update-sequence check
  uint64_t malformedCount = 0;     // header or attributes out of bounds, or a record out of place
  uint64_t unresolvedCount = 0;    // base records whose attribute list could not be followed
  uint64_t extendCount = 0;        // files with streams left out as part of the $Extend tree
  uint64_t folderRecordReads = 0;  // folder records read after the pass for paths
};

enum class MftIndexStatus {
  kBuilt,
  kBootUnreadable,  // the boot sector could not be read
  kNotNtfs,         // FAT, exFAT, ReFS, BitLocker or unknown (see the result's format)
  kBadBootSector,
  kMftUnreadable,  // $MFT could not be mapped, or more than 16 MiB of it in a row was unreadable
  kCancelled,
  kNoMemory,
};

struct MftIndexResult {
  MftIndexStatus status = MftIndexStatus::kBootUnreadable;
  VolumeFormat format = VolumeFormat::kUnknown;
};

struct MftIndexOptions {
  std::function<bool()> cancelRequested;  // polled between reads; may be empty
  size_t chunkLength = 1u << 20;          // bytes of $MFT per read, whole records
};

// The deepest folder chain a path is rebuilt through (a path of 32,767
// characters has fewer components).
constexpr size_t kMaxPathDepth = 16384;

class MftStreamIndex {
 public:
  // By the file reference a directory listing reports (record number and
  // sequence number, as in FILE_ID_BOTH_DIR_INFO.FileId on NTFS). *file is
  // set for kStreams and stays valid as long as the index.
  MftLookup Find(uint64_t fileReference, const MftStreamFile** file) const;
  // By record number alone, for listings that report no sequence number
  // (a FUSE mount gives the record number as the inode number): a record
  // reused since the index was built cannot be told apart.
  MftLookup FindRecord(uint64_t recordNumber, const MftStreamFile** file) const;

  const std::vector<MftStreamFile>& Files() const { return files_; }  // by record number

  // The file's paths from the volume's root, one per link whose folders lead
  // to the root: "\" for the root folder itself, "\dir\name" otherwise. Links
  // whose chain breaks (a folder unread, reused, not a folder, a cycle, more
  // than kMaxPathDepth levels) give no path.
  std::vector<std::u16string> PathsOf(const MftStreamFile& file) const;

  const NtfsGeometry& Geometry() const { return geometry_; }
  const MftIndexCounts& Counts() const { return counts_; }
  // Bytes the index holds (sequence numbers, stream files, folder names).
  size_t MemoryLength() const;

 private:
  friend class MftIndexBuilder;

  struct Folder {
    bool usable = false;  // in use, a folder, and a name found
    uint16_t sequenceNumber = 0;
    uint64_t parentReference = 0;
    std::u16string name;
  };
  enum class ChainEnd { kRoot, kExtendTree, kBroken };
  ChainEnd WalkToRoot(const MftLink& link, std::vector<const std::u16string*>* names) const;

  NtfsGeometry geometry_;
  std::vector<uint16_t> sequenceNumbers_;  // per record; 0: not known
  std::vector<MftStreamFile> files_;
  std::unordered_map<uint64_t, Folder> folders_;
  MftIndexCounts counts_;
};

// Reads the volume's boot sector and master file table through readAt and
// fills *index (replacing what it held). Anything but kBuilt leaves *index
// empty: every lookup answers kUnknown. Throws nothing (a failed allocation
// gives kNoMemory), unless readAt or cancelRequested throw.
MftIndexResult BuildMftStreamIndex(const VolumeReadAt& readAt, const MftIndexOptions& options,
                                   MftStreamIndex* index);

// The named streams of one file or folder, read from its own record (and the
// extension records its attribute list names) without building an index:
// for a scan of a single path whose file reference is known. kUnknown when
// the record cannot be read, is torn, not in use, an extension record, a
// metadata file, or holds another sequence number. *file is set for kStreams.
// Its links are as read; the caller knows the path it asked for.
MftLookup ReadMftStreamFile(MftVolume& volume, uint64_t fileReference, MftStreamFile* file);

}  // namespace tarvex
