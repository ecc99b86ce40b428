// The text naming the object being scanned: a fixed buffer whose address never
// changes, written by the job's thread and read by the caller's thread at any time.
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

#include "text_limits.h"

namespace tarvex {

class ScanObjectText {
 public:
  ScanObjectText();
  ScanObjectText(const ScanObjectText&) = delete;
  ScanObjectText& operator=(const ScanObjectText&) = delete;

  // Replaces the text; at most kScanObjectMaxChars characters are kept.
  // Does nothing while the text is held empty.
  void Set(std::string_view text);
  // Empties the text and zero-fills the whole buffer; ends a hold.
  void Clear();
  // Empties the text and keeps it empty until the next Clear: a cancelled
  // job's scanner may still name one more object before its checkpoint.
  void ClearAndHold();
  // Empties the text and zero-fills the whole buffer; a hold stays as it is,
  // so a cancel that came before the job began still keeps the text empty.
  void ClearKeepingHold();
  // Stable address of the text.
  const char* Data() const { return buffer_; }

 private:
  // The last byte is never written, so a reader on another thread always meets
  // a terminator within the limit even while a write is under way. Writers
  // (the job's thread and a cancel from the caller's thread) take turns.
  char buffer_[kScanObjectMaxChars + 1];
  std::atomic_flag writing_ = ATOMIC_FLAG_INIT;
  bool held_ = false;  // written and read only by a writer in its turn
};

}  // namespace tarvex
