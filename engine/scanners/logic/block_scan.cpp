// The buffer scan's core: pieces, the answer, the job values and the entry.
#include "block_scan.h"

#include "message_table.h"
#include "not_scanned.h"
#include "text_limits.h"

namespace tarvex {

void ScanBlock(BlockScanHost& host, const EntrySubject& subject, uint64_t length,
               const BlockScanJob& job, JobRecord& record) {
  const AmsiAnswer answer = ScanPiecesInTurn(
      PlanScanPieces(length, kLargeBlockPieceLength, kLargeBlockOverlapLength),
      [&](const ScanPiece& piece) { return host.ScanPiece(piece.offset, piece.length); });
  record.verdict = NextJobVerdict(record.verdict, ClassifyScan(answer.status, answer.result));

  const uint32_t errorNumber = host.ErrorNumberOf(answer.status);
  if (record.errorNumber == 0) record.errorNumber = static_cast<intptr_t>(errorNumber);
  std::string message = host.SystemErrorText(errorNumber);
  AppendWithin(message, job.sessionNote, kMessageAreaMaxChars);

  const int wordRow = VerdictWordRow(answer.status, answer.result, job.findingsOnly);
  const std::string word = wordRow == 0
                               ? std::string()
                               : MessageText(static_cast<MessageRow>(wordRow), job.languageIndex);
  AppendResultEntry(record.results, subject, IsMalwareText(word, answer.result), std::move(message),
                    record.errorNumber);
}

void AppendUnsupportedEntry(BlockScanHost& host, const EntrySubject& subject, int languageIndex,
                            JobRecord& record) {
  record.errorNumber = kErrorBadDriverLevel;
  NotScannedCause cause;
  cause.verdictWord = MessageText(MessageRow::NotSupported, languageIndex);
  cause.form = NotScannedForm::WordAndResult;
  cause.reason = host.SystemErrorText(static_cast<uint32_t>(kErrorBadDriverLevel));
  AppendNotScannedEntry(record.results, subject, cause, record.errorNumber);
}

}  // namespace tarvex
