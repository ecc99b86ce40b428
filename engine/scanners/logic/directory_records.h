// The records a folder listing by handle returns (FILE_ID_BOTH_DIR_INFO, the
// information class FileIdBothDirectoryInfo): name, attributes and the file
// reference of each entry, read with a bound check on every offset and length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tarvex {

// Record layout (x86 and x64 alike): NextEntryOffset (4 bytes) at 0,
// FileAttributes (4) at 56, FileNameLength (4, in bytes) at 60, FileId (8) at
// 96 and the UTF-16 name, not terminated, from 104.
constexpr size_t kDirectoryRecordAttributesOffset = 56;
constexpr size_t kDirectoryRecordNameLengthOffset = 60;
constexpr size_t kDirectoryRecordFileIdOffset = 96;
constexpr size_t kDirectoryRecordNameOffset = 104;

constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;

struct DirectoryRecord {
  std::u16string name;
  uint32_t attributes = 0;
  uint64_t fileId = 0;
};

// Hands the records of one filled buffer to onRecord in order until it returns
// false; returns false when onRecord did. A record whose fixed part or name
// would cross the buffer's end, or whose next offset does not move forward
// within it, ends the walk.
bool ReadDirectoryRecords(const unsigned char* buffer, size_t bufferLength,
                          const std::function<bool(const DirectoryRecord&)>& onRecord);

}  // namespace tarvex
