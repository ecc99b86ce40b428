// Result entries of a job and the cursor interface the getters expose.
#include "result_list.h"

#include <cstring>
#include <utility>

#include "text_limits.h"

namespace tarvex {

namespace {

std::string& FieldOf(ResultEntry& entry, int field) {
  switch (field) {
    case kProcessName:
      return entry.processName;
    case kProcessId:
      return entry.processId;
    case kScantarget:
      return entry.scantarget;
    case kIsMalware:
      return entry.isMalware;
    case kScannermessage:
      return entry.scannermessage;
    default:
      return entry.scannerErrornumber;
  }
}

}  // namespace

int ResultList::FieldFromName(const char* name) {
  if (name == nullptr) return -1;
  for (int field = 0; field < kFieldCount; ++field) {
    if (std::strcmp(name, kFieldNames[field]) == 0) return field;
  }
  return -1;
}

void ResultList::StartWithTitles(const ResultEntry& titles) {
  Clear();
  for (auto& list : lists_) list.shrink_to_fit();
  Append(titles);
}

void ResultList::Clear() noexcept {
  for (int field = 0; field < kFieldCount; ++field) {
    lists_[field].clear();
    cursors_[field] = -1;
    slots_[field].clear();
    widths_[field] = 0;
  }
}

void ResultList::Widen(int field, size_t length) {
  const int64_t wanted = static_cast<int64_t>(length) + kCellPadding;
  if (widths_[field] < wanted) {
    widths_[field] = wanted > INT32_MAX ? INT32_MAX : static_cast<int32_t>(wanted);
  }
}

void ResultList::Append(ResultEntry entry) {
  // Room in every list first: the moves below neither allocate nor throw.
  for (auto& list : lists_) {
    if (list.size() == list.capacity()) list.reserve(list.size() < 16 ? 16 : list.size() * 2);
  }
  for (int field = 0; field < kFieldCount; ++field) {
    lists_[field].push_back(std::move(FieldOf(entry, field)));
  }
  for (int field = 0; field < kFieldCount; ++field) Widen(field, lists_[field].back().size());
}

void ResultList::SetToStart() { cursors_.fill(-1); }

const char* ResultList::Next(int field) {
  if (field < 0 || field >= kFieldCount) return nullptr;
  const std::ptrdiff_t next = cursors_[field] + 1;
  if (next >= static_cast<std::ptrdiff_t>(lists_[field].size())) return nullptr;
  cursors_[field] = next;
  slots_[field] = lists_[field][static_cast<size_t>(next)];
  return slots_[field].c_str();
}

void AppendResultEntry(ResultList& results, const EntrySubject& subject, std::string isMalware,
                       std::string scannermessage, int64_t errorNumber) {
  CutTo(scannermessage, kMessageAreaMaxChars);
  ResultEntry entry;
  entry.processName = subject.processName;
  entry.processId = subject.processId;
  entry.scantarget = subject.scantarget;
  entry.isMalware = std::move(isMalware);
  entry.scannermessage = std::move(scannermessage);
  entry.scannerErrornumber = DecimalText(errorNumber);
  results.Append(std::move(entry));
}

}  // namespace tarvex
