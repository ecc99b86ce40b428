// The job's result entries: six parallel text lists with independent cursors,
// the getter slots and the column widths of the text report.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tarvex_names.h"

namespace tarvex {

constexpr int kFieldCount = TARVEX_FIELD_COUNT;

enum ResultField : int {
  kProcessName = 0,
  kProcessId = 1,
  kScantarget = 2,
  kIsMalware = 3,
  kScannermessage = 4,
  kScannerErrornumber = 5,
};

// Cell padding: every column is at least its longest text plus this many blanks.
constexpr int32_t kCellPadding = 3;

struct ResultEntry {
  std::string processName;
  std::string processId;
  std::string scantarget;
  std::string isMalware;
  std::string scannermessage;
  std::string scannerErrornumber;
};

// The object an entry is about: the process (empty for files and buffers
// handed in without one) and the scan target.
struct EntrySubject {
  std::string processName;
  std::string processId;
  std::string scantarget;
};

class ResultList {
 public:
  // Field index of a name, compared case-sensitively; -1 for an unknown name or null.
  static int FieldFromName(const char* name);

  // Empties the lists and appends the title entry; the widths become each
  // title's length plus the padding.
  void StartWithTitles(const ResultEntry& titles);

  // Appends the entry to the six lists, then widens each column to its
  // text's length plus the padding where it is narrower. When memory runs
  // out, the entry is appended to all six lists or to none (the exception is
  // passed on), so the lists always have the same length.
  void Append(ResultEntry entry);

  // Empties the lists and the widths without allocating; cursors before the start.
  void Clear() noexcept;

  // Puts every cursor before its first element.
  void SetToStart();

  // Moves the field's cursor to the next element and returns that element's
  // text (copied into the field's slot, valid until the next call for that
  // field); returns nullptr, without moving, when there is no next element.
  const char* Next(int field);

  size_t Size() const { return lists_[kScantarget].size(); }
  const std::array<int32_t, kFieldCount>& Widths() const { return widths_; }
  const std::string& At(size_t entry, int field) const { return lists_[field][entry]; }

 private:
  void Widen(int field, size_t length);

  std::array<std::vector<std::string>, kFieldCount> lists_;
  // Index of the element a cursor is on; -1 is before the first element.
  std::array<std::ptrdiff_t, kFieldCount> cursors_{-1, -1, -1, -1, -1, -1};
  std::array<std::string, kFieldCount> slots_;
  std::array<int32_t, kFieldCount> widths_{};
};

// Appends the entry of one scanned or failed object; the scanners add entries
// only through this. The scan message is cut to the message area's limit
// (kMessageAreaMaxChars) and the error number written in decimal.
void AppendResultEntry(ResultList& results, const EntrySubject& subject, std::string isMalware,
                       std::string scannermessage, int64_t errorNumber);

}  // namespace tarvex
