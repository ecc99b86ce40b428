// Walk over FILE_ID_BOTH_DIR_INFO records.
#include "directory_records.h"

#include "ntfs_records.h"

namespace tarvex {

bool ReadDirectoryRecords(const unsigned char* buffer, size_t bufferLength,
                          const std::function<bool(const DirectoryRecord&)>& onRecord) {
  size_t offset = 0;
  DirectoryRecord record;
  while (offset <= bufferLength && bufferLength - offset >= kDirectoryRecordNameOffset) {
    const unsigned char* at = buffer + offset;
    const uint32_t nextOffset = LoadLe32(at);
    const uint32_t nameLength = LoadLe32(at + kDirectoryRecordNameLengthOffset);
    if (nameLength > bufferLength - offset - kDirectoryRecordNameOffset) return true;
    record.attributes = LoadLe32(at + kDirectoryRecordAttributesOffset);
    record.fileId = LoadLe64(at + kDirectoryRecordFileIdOffset);
    record.name.resize(nameLength / 2);
    for (size_t i = 0; i < record.name.size(); ++i) {
      record.name[i] = static_cast<char16_t>(LoadLe16(at + kDirectoryRecordNameOffset + 2 * i));
    }
    if (!onRecord(record)) return false;
    if (nextOffset == 0 || nextOffset > bufferLength - offset) return true;
    offset += nextOffset;
  }
  return true;
}

}  // namespace tarvex
