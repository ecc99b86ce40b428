// ScanBufferCore: the one place that asks AMSI for a verdict.
#include <windows.h>

#include "engine_state.h"
#include "scan_verdict.h"
#include "scanners.h"
#include "system_text.h"
#include "text_limits.h"

namespace tarvex {
namespace {

// Entry of a block that cannot be handed to AMSI at all: an unsupported system,
// or Amsi.dll (or one of its functions) missing on a supported one.
void AppendUnsupportedEntry(const std::string& target, const std::string& processName,
                            const std::string& processId, int64_t amsiResult) {
  EngineState& engine = Engine();
  engine.jobErrorNumber = kErrorBadDriverLevel;
  SetMessageArea(SystemErrorText(static_cast<DWORD>(kErrorBadDriverLevel)));
  AppendResultEntry(processName, processId, target,
                    IsMalwareText(Text(MessageRow::NotSupported), amsiResult), engine.messageArea);
}

struct PieceAnswer {
  HRESULT status = S_OK;
  AMSI_RESULT result = 0;
};

// Scans the block, in overlapping pieces when it is longer than AMSI's 32-bit
// length. The answer is the first detection, else the first failure, else the
// last clean answer.
PieceAnswer ScanBlock(const void* buffer, uintptr_t length, const wchar_t* contentName) {
  AmsiBinding& amsi = Engine().amsi;
  PieceAnswer answer;
  PieceAnswer failure;
  bool failed = false;
  const auto pieces = PlanScanPieces(length, kLargeBlockPieceLength, kLargeBlockOverlapLength);
  for (const ScanPiece& piece : pieces) {
    AMSI_RESULT result = 0;
    void* start = const_cast<char*>(static_cast<const char*>(buffer) + piece.offset);
    const HRESULT status =
        amsi.scanBuffer(amsi.context, start, piece.length, contentName, nullptr, &result);
    if (status == S_OK && IsDetection(result)) return PieceAnswer{status, result};
    if (status != S_OK && !failed) {
      failed = true;
      failure = PieceAnswer{status, result};
    }
    answer = PieceAnswer{status, result};
  }
  return failed ? failure : answer;
}

}  // namespace

void ScanBufferCore(const std::string& target, const void* buffer, uintptr_t length,
                    int32_t findingsOnly, const std::string& processName,
                    const std::string& processId) {
  EngineState& engine = Engine();
  if (!SystemSupportsAmsi() || !engine.amsi.Complete()) {
    AppendUnsupportedEntry(target, processName, processId, 0);
    return;
  }

  PieceAnswer answer;
  {
    const std::wstring contentName = AnsiToWide(target);
    answer = ScanBlock(buffer, length, contentName.c_str());
  }
  const ScanOutcome outcome = ClassifyScan(answer.status, answer.result);
  engine.jobVerdict = NextJobVerdict(engine.jobVerdict, outcome);

  const DWORD translated = TranslateStatus(answer.status);
  if (engine.jobErrorNumber == 0) engine.jobErrorNumber = static_cast<intptr_t>(translated);
  std::string message = SystemErrorText(translated);
  AppendWithin(message, engine.amsi.sessionNote, kMessageAreaMaxChars);
  SetMessageArea(std::move(message));

  const int wordRow = VerdictWordRow(answer.status, answer.result, findingsOnly);
  const std::string word = wordRow == 0 ? std::string() : Text(static_cast<MessageRow>(wordRow));
  AppendResultEntry(processName, processId, target, IsMalwareText(word, answer.result),
                    engine.messageArea);
}

}  // namespace tarvex
