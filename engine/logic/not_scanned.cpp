// Entries of objects that could not be scanned.
#include "not_scanned.h"

#include "scan_verdict.h"

namespace tarvex {

std::string FailureMessage(std::string_view operation, std::string_view reason,
                           std::string_view sessionNote) {
  std::string message;
  if (!operation.empty()) {
    message.append(operation);
    message.append(" -> ");
  }
  message.append(reason);
  message.append(sessionNote);
  return message;
}

void AppendNotScannedEntry(ResultList& results, const EntrySubject& subject,
                           const NotScannedCause& cause, int64_t errorNumber) {
  std::string isMalware = cause.form == NotScannedForm::WordAndResult
                              ? IsMalwareText(cause.verdictWord, 0)
                              : cause.verdictWord;
  AppendResultEntry(results, subject, std::move(isMalware),
                    FailureMessage(cause.operation, cause.reason, cause.sessionNote), errorNumber);
}

}  // namespace tarvex
