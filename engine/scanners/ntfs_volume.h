// The master-file-table index of the NTFS volume a walked tree lies on, read
// from the raw volume, and the file reference of a path.
#pragma once

#include <cstdint>
#include <string>

#include "scanners/logic/folder_walk.h"
#include "scanners/logic/indexed_walk.h"
#include "scanners/logic/mft_stream_index.h"

namespace tarvex {

// Builds the index of the volume treeStart (a start folder or a drive root)
// lies on. kUnavailable unless every step succeeds: treeStart is a folder, its
// volume has a raw volume that opens read-only and reads as NTFS, the index
// is built, the file system's own account of the volume (where it gives one)
// agrees with the boot sector and names the folder's volume, and the index
// knows treeStart's record. kCancelled when a cancel came during the build.
TreeIndexOutcome BuildTreeIndex(const WalkPath& treeStart, MftStreamIndex* index);

// The file reference the file system reports for a file or folder (on NTFS
// its record number and sequence number); 0 when it cannot be opened.
uint64_t FileReferenceOf(const std::u16string& platformPath);

}  // namespace tarvex
