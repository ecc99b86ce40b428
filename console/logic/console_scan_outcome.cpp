// Outcome of result entries and the exit code of a run.
#include "console_scan_outcome.h"

#include "console_text.h"

namespace tarvex::console {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The verdict word followed by the AMSI result: "word (n)".
bool IsVerdictWord(const std::string& text, const char* word) {
  const std::string prefix = std::string(word) + " (";
  return StartsWith(text, prefix) && text.back() == ')';
}

}  // namespace

EntryOutcome ClassifyIsMalware(const std::string& isMalware) {
  if (isMalware.empty()) return EntryOutcome::NotScanned;
  if (IsVerdictWord(isMalware, "yes") || IsVerdictWord(isMalware, "ja")) {
    return EntryOutcome::Detected;
  }
  if (IsVerdictWord(isMalware, "no") || IsVerdictWord(isMalware, "nein") ||
      IsVerdictWord(isMalware, "")) {
    return EntryOutcome::Clean;
  }
  return EntryOutcome::NotScanned;
}

const char* OutcomeName(EntryOutcome outcome) {
  switch (outcome) {
    case EntryOutcome::Clean:
      return "clean";
    case EntryOutcome::Detected:
      return "detected";
    case EntryOutcome::NotScanned:
      break;
  }
  return "not_scanned";
}

std::optional<int64_t> AmsiResultOf(const std::string& isMalware, EntryOutcome outcome) {
  if (outcome == EntryOutcome::NotScanned) return std::nullopt;
  const size_t open = isMalware.rfind(" (");
  if (open == std::string::npos || isMalware.back() != ')') return std::nullopt;
  return ParseDecimal(std::string_view(isMalware).substr(open + 2, isMalware.size() - open - 3));
}

void OutcomeCounts::Add(EntryOutcome outcome) {
  switch (outcome) {
    case EntryOutcome::Detected:
      ++detected;
      break;
    case EntryOutcome::Clean:
      ++clean;
      break;
    case EntryOutcome::NotScanned:
      ++notScanned;
      break;
  }
}

int RunExitCode(const RunState& state) {
  if (state.counts.detected > 0 || state.jobVerdict == 1) return kExitDetected;
  if (state.writeFailed) return kExitWriteFailed;
  if (state.cancelled) return kExitCancelled;
  if (state.counts.notScanned > 0 || state.counts.Total() == 0 || state.jobVerdict != 0) {
    return kExitNotScanned;
  }
  return kExitClean;
}

int SelfTestExitCode(int judgedExitCode, bool writeFailed) {
  if (!writeFailed) return judgedExitCode;
  return judgedExitCode == kExitClean ? kExitDetected : kExitWriteFailed;
}

}  // namespace tarvex::console
