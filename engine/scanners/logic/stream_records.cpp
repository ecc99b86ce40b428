// Walk over FILE_STREAM_INFORMATION records, stream-name rules and the growing query.
#include "stream_records.h"

#include <cstring>

namespace tarvex {
namespace {

uint32_t ReadU32(const unsigned char* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

uint64_t ReadU64(const unsigned char* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

bool IsBlank(char16_t c) { return c == u' '; }

std::u16string TrimBlanks(const std::u16string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool EndsWith(const std::u16string& text, const std::u16string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::vector<StreamRecord> ReadStreamRecords(const unsigned char* buffer, size_t bufferLength) {
  std::vector<StreamRecord> records;
  size_t offset = 0;
  while (bufferLength >= kStreamRecordHeaderLength &&
         offset <= bufferLength - kStreamRecordHeaderLength) {
    const unsigned char* record = buffer + offset;
    const uint32_t nextOffset = ReadU32(record);
    const uint32_t nameLength = ReadU32(record + 4);
    if (nameLength == 0) break;  // an empty list, or a record without a name
    if (nameLength > bufferLength - offset - kStreamRecordHeaderLength) break;
    StreamRecord entry;
    entry.size = ReadU64(record + 8);
    entry.name.resize(nameLength / 2);
    std::memcpy(&entry.name[0], record + kStreamRecordHeaderLength, entry.name.size() * 2);
    records.push_back(std::move(entry));
    if (nextOffset == 0 || nextOffset > bufferLength - offset) break;
    offset += nextOffset;
  }
  return records;
}

std::optional<std::u16string> StreamPathSuffix(const std::u16string& recordName,
                                               bool pathIsFolder) {
  const std::u16string trimmed = TrimBlanks(recordName);
  if (!pathIsFolder && trimmed == u"::$DATA") return std::nullopt;
  if (EndsWith(trimmed, u":$DATA")) {
    // Cut at the suffix itself, so blanks behind it cannot shift the cut into the name.
    size_t end = recordName.size();
    while (end > 0 && IsBlank(recordName[end - 1])) --end;
    return recordName.substr(0, end - 6);
  }
  if (pathIsFolder) {
    if (recordName.size() <= 6) return std::u16string();
    return recordName.substr(0, recordName.size() - 6);
  }
  return recordName;
}

bool IsListTooLong(uint32_t status) {
  return status == kStatusBufferOverflow || status == kStatusInfoLengthMismatch ||
         status == kStatusBufferTooSmall;
}

uint32_t QueryStreamList(
    const std::function<unsigned char*(uint32_t length)>& allocate,
    const std::function<uint32_t(unsigned char* buffer, uint32_t length)>& query,
    uint32_t* bufferLength) {
  uint32_t length = kStreamListFirstLength;
  uint32_t status = kStatusBufferTooSmall;
  *bufferLength = 0;
  for (;;) {
    unsigned char* buffer = allocate(length);
    if (buffer == nullptr) return status;
    *bufferLength = length;
    status = query(buffer, length);
    if (!IsListTooLong(status) || length >= kStreamListMaxLength) return status;
    length = length > kStreamListMaxLength / 2 ? kStreamListMaxLength : length * 2;
  }
}

std::vector<StreamRecord> AcceptedStreamRecords(uint32_t status, const unsigned char* buffer,
                                                uint32_t bufferLength, uint64_t writtenLength) {
  if (status != kStatusSuccess && status != kStatusBufferOverflow) return {};
  if (writtenLength > 0 && writtenLength < bufferLength) {
    bufferLength = static_cast<uint32_t>(writtenLength);
  }
  return ReadStreamRecords(buffer, bufferLength);
}

}  // namespace tarvex
