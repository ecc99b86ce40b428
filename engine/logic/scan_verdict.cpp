// Verdict rules of the buffer scan and the Windows version classification.
#include "scan_verdict.h"

namespace tarvex {

bool IsDetection(int32_t amsiResult) { return amsiResult != 0 && amsiResult != 1; }

ScanOutcome ClassifyScan(int32_t scanStatus, int32_t amsiResult) {
  if (scanStatus != 0) return ScanOutcome::NotScanned;
  return IsDetection(amsiResult) ? ScanOutcome::Detected : ScanOutcome::Clean;
}

intptr_t NextJobVerdict(intptr_t jobVerdict, ScanOutcome outcome) {
  switch (outcome) {
    case ScanOutcome::Detected:
      return kVerdictDetected;
    case ScanOutcome::Clean:
      return jobVerdict == kVerdictNothingScanned ? kVerdictClean : jobVerdict;
    default:
      return jobVerdict;
  }
}

int VerdictWordRow(int32_t scanStatus, int32_t amsiResult, int32_t findingsOnly) {
  const ScanOutcome outcome = ClassifyScan(scanStatus, amsiResult);
  if (findingsOnly != 0 && outcome == ScanOutcome::Clean) return 0;
  switch (outcome) {
    case ScanOutcome::NotScanned:
      return static_cast<int>(MessageRow::VerdictNotScanned);
    case ScanOutcome::Clean:
      return static_cast<int>(MessageRow::VerdictNo);
    default:
      return static_cast<int>(MessageRow::VerdictYes);
  }
}

std::string IsMalwareText(const std::string& word, int64_t amsiResult) {
  return word + " (" + std::to_string(amsiResult) + ")";
}

bool IsAmsiSupportedVersion(bool queryOk, uint32_t platformId, uint32_t major, uint32_t minor) {
  if (!queryOk) return true;
  if (platformId == 1) return !(minor == 0 || minor == 10 || minor == 90);
  if (platformId == 2) {
    if (major == 3 || major == 4) return false;
    if (major == 5 && minor <= 2) return false;
    if (major == 6 && minor <= 1) return false;
  }
  return true;
}

bool IsNewerThanWindows2000(bool queryOk, uint32_t platformId, uint32_t major, uint32_t minor) {
  if (!queryOk) return true;
  if (platformId == 1) return !(minor == 0 || minor == 10 || minor == 90);
  if (platformId == 2) {
    if (major == 3 || major == 4) return false;
    if (major == 5 && minor == 0) return false;
  }
  return true;
}

std::vector<ScanPiece> PlanScanPieces(uint64_t length, uint32_t maxPieceLength,
                                      uint32_t overlapLength) {
  std::vector<ScanPiece> pieces;
  if (length <= UINT32_MAX) {
    pieces.push_back({0, static_cast<uint32_t>(length)});
    return pieces;
  }
  if (maxPieceLength == 0) return pieces;
  if (overlapLength >= maxPieceLength) overlapLength = 0;
  const uint64_t step = static_cast<uint64_t>(maxPieceLength) - overlapLength;
  for (uint64_t offset = 0;; offset += step) {
    const uint64_t rest = length - offset;
    const uint32_t pieceLength =
        rest < maxPieceLength ? static_cast<uint32_t>(rest) : maxPieceLength;
    pieces.push_back({offset, pieceLength});
    if (offset + pieceLength >= length) break;
  }
  return pieces;
}

AmsiAnswer ScanPiecesInTurn(const std::vector<ScanPiece>& pieces,
                            const std::function<AmsiAnswer(const ScanPiece& piece)>& scanPiece) {
  AmsiAnswer last;
  AmsiAnswer firstFailure;
  bool failed = false;
  for (const ScanPiece& piece : pieces) {
    const AmsiAnswer answer = scanPiece(piece);
    if (answer.status == 0 && IsDetection(answer.result)) return answer;
    if (answer.status != 0 && !failed) {
      failed = true;
      firstFailure = answer;
    }
    last = answer;
  }
  return failed ? firstFailure : last;
}

}  // namespace tarvex
