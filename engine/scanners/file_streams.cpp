// ScanFileStreams: finds the named streams of one file or folder and scans each.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <utility>

#include "engine_state.h"
#include "scanners.h"
#include "scanners/logic/stream_records.h"
#include "stream_query.h"
#include "stream_scanners.h"
#include "virtual_buffer.h"
#include "wide_paths.h"
#include "win32_handles.h"

namespace tarvex {
namespace {

bool IsFolder(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file, &information)) return false;
  return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The records of the file's stream list; none when the list cannot be had
// (no streams on this file system, a failed query, no memory). The buffer is
// kept for the next file of a walk and grows when a list does not fit.
std::vector<StreamRecord> ListStreams(HANDLE file, VirtualBuffer& buffer) {
  const NtQueryInformationFileFn query = StreamQuery();
  if (query == nullptr) return {};
  uint32_t bufferLength = 0;
  ULONG_PTR writtenLength = 0;
  const uint32_t status = QueryStreamList(
      [&](uint32_t length) -> unsigned char* {
        if (buffer.Length() < length) {
          // The smaller buffer, with the records it holds, stays until the larger one is had.
          VirtualBuffer larger(length);
          if (larger.Data() == nullptr) return nullptr;
          buffer = std::move(larger);
        }
        // A query that lists nothing may write nothing: an empty first record
        // keeps the previous file's list from being read again.
        if (buffer.Data() != nullptr) std::memset(buffer.Data(), 0, kStreamRecordHeaderLength);
        return buffer.Data();
      },
      [&](unsigned char* data, uint32_t length) {
        IoStatusBlock ioStatus{};
        const LONG queryStatus = query(file, &ioStatus, data, length, kFileStreamInformation);
        writtenLength = ioStatus.information;
        return static_cast<uint32_t>(queryStatus);
      },
      &bufferLength);
  return AcceptedStreamRecords(status, buffer.Data(), bufferLength, writtenLength);
}

}  // namespace

void ScanFileStreamsAt(const std::u16string& path, const std::string& target, int32_t findingsOnly,
                       VirtualBuffer& listBuffer) {
  Engine().scanObject.Set(target);
  // No data access; backup semantics let folders be opened as well.
  UniqueFileHandle file(CreateFileW(WidePointer(PlatformPath(path)), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return;
  const std::vector<StreamRecord> records = ListStreams(file.Get(), listBuffer);
  if (records.empty()) return;

  const bool pathIsFolder = IsFolder(file.Get());
  for (size_t i = 0; i < records.size(); ++i) {
    if (const auto suffix = StreamPathSuffix(records[i].name, pathIsFolder)) {
      ScanStreamContentAt(path + *suffix, target + AnsiFromU16(*suffix), findingsOnly);
    }
    // The stream in hand is always finished; a cancel skips the rest.
    if (CancelRequested()) break;
  }
}

void ScanKnownStreamsAt(const std::u16string& path, const std::string& target,
                        const std::vector<std::u16string>& suffixes, int32_t findingsOnly) {
  Engine().scanObject.Set(target);
  for (const std::u16string& suffix : suffixes) {
    ScanStreamContentAt(path + suffix, target + AnsiFromU16(suffix), findingsOnly);
    // The stream in hand is always finished; a cancel skips the rest.
    if (CancelRequested()) break;
  }
}

void ScanFileStreams(const std::string& path, int32_t findingsOnly) {
  VirtualBuffer listBuffer;
  ScanFileStreamsAt(U16FromAnsi(path), path, findingsOnly, listBuffer);
}

}  // namespace tarvex
