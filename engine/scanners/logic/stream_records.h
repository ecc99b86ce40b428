// The stream list of a file as the file system returns it (FILE_STREAM_INFORMATION
// records), the rules that turn a record's name into a stream path, and the
// query that grows its buffer until the whole list fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// Record layout: NextEntryOffset (4 bytes), StreamNameLength (4, in bytes),
// StreamSize (8), StreamAllocationSize (8), then the UTF-16 name, not terminated.
constexpr size_t kStreamRecordHeaderLength = 24;

struct StreamRecord {
  std::u16string name;  // ":name:$DATA"; the main stream of a file is "::$DATA"
  uint64_t size = 0;
};

// The records of a filled buffer in list order. An empty list (the first
// record's name length is 0) gives none. The walk never reads past the buffer:
// a record whose header or name would cross its end, or whose next offset
// does not move forward within it, ends the list.
std::vector<StreamRecord> ReadStreamRecords(const unsigned char* buffer, size_t bufferLength);

// What follows the file's path in the stream's path, or nothing when the
// record is not scanned: the name is tested with blanks removed at both ends;
// "::$DATA" of a file (its main content) is skipped; a name ending in ":$DATA"
// loses that suffix (and any blanks behind it), and any other name on a folder
// its last six characters.
std::optional<std::u16string> StreamPathSuffix(const std::u16string& recordName, bool pathIsFolder);

// NTSTATUS values of the stream query.
constexpr uint32_t kStatusSuccess = 0;
constexpr uint32_t kStatusBufferOverflow = 0x80000005u;
constexpr uint32_t kStatusInfoLengthMismatch = 0xC0000004u;
constexpr uint32_t kStatusBufferTooSmall = 0xC0000023u;
constexpr uint32_t kStatusNotImplemented = 0xC0000002u;

constexpr uint32_t kStreamListFirstLength = 655360;   // 640 KiB
constexpr uint32_t kStreamListMaxLength = 64u << 20;  // 64 MiB

// True for the statuses that mean "the list did not fit into the buffer".
bool IsListTooLong(uint32_t status);

// Queries the stream list into a buffer of kStreamListFirstLength bytes and,
// while the list does not fit, into one of twice the length, up to
// kStreamListMaxLength (the last step is cut to it). allocate(length) returns
// a buffer of at least that length whose first record reads as an empty list
// (a query that finds no streams may write nothing), or nullptr and leaves
// the buffer it gave before as it is; query(buffer, length) returns the
// status. The result is the last status, with the length of the buffer that
// status belongs to in *bufferLength. When a larger buffer cannot be had, the
// smaller one's status and length stand, so the records it holds are still
// read; a failed first allocation yields kStatusBufferTooSmall with length 0.
uint32_t QueryStreamList(
    const std::function<unsigned char*(uint32_t length)>& allocate,
    const std::function<uint32_t(unsigned char* buffer, uint32_t length)>& query,
    uint32_t* bufferLength);

// The records of a finished query (QueryStreamList's status, the buffer and
// the length asked for, and the length the query says it wrote). None unless
// the status is success or buffer overflow: a list too long even for the
// largest buffer comes back with the records that fit, and those are scanned
// rather than none. The records end where the query stopped writing when it
// says so (a written length above 0 and below the buffer's).
std::vector<StreamRecord> AcceptedStreamRecords(uint32_t status, const unsigned char* buffer,
                                                uint32_t bufferLength, uint64_t writtenLength);

}  // namespace tarvex
