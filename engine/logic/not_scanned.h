// The entries of objects that could not be scanned: the one place that builds
// their verdict text and scan message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "result_list.h"

namespace tarvex {

// How the verdict word stands in IsMalware.
enum class NotScannedForm {
  WordAndResult,  // the word and the AMSI result 0, which AMSI never gave: "not scanned (0)"
  BareWord,       // the word alone: the process memory scan's own failures
};

// Why the object was not scanned.
struct NotScannedCause {
  std::string verdictWord;  // message-table word: "not scanned", or the unsupported-system text
  NotScannedForm form = NotScannedForm::WordAndResult;
  std::string operation;    // the failing call ("ReadFile"); empty: the reason stands alone
  std::string reason;       // the system's text for the error, or a message-table text
  std::string sessionNote;  // appended by the process memory scan; empty elsewhere
};

// Scan message of a failure: "<operation> -> <reason><sessionNote>", or
// "<reason><sessionNote>" without an operation.
std::string FailureMessage(std::string_view operation, std::string_view reason,
                           std::string_view sessionNote);

// Appends the entry of an object that was not scanned.
void AppendNotScannedEntry(ResultList& results, const EntrySubject& subject,
                           const NotScannedCause& cause, int64_t errorNumber);

}  // namespace tarvex
