// Outcome of result entries and the exit code of a job.
#include "console_scan_outcome.h"

#include "console_command_line.h"

namespace tarvex::console {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The verdict word followed by the AMSI result: "word (n)".
bool IsVerdictWord(const std::string& text, const char* word) {
  const std::string prefix = std::string(word) + " (";
  return StartsWith(text, prefix.c_str()) && text.back() == ')';
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
  return "not scanned";
}

int ScanExitCode(intptr_t jobVerdict, const std::vector<ConsoleEntry>& entries, bool cancelled) {
  if (cancelled) return kExitCancelled;
  bool detected = jobVerdict == 1;
  bool notScanned = jobVerdict != 0 && jobVerdict != 1;  // -1: nothing scanned
  for (const ConsoleEntry& entry : entries) {
    const EntryOutcome outcome = ClassifyIsMalware(entry.isMalware);
    if (outcome == EntryOutcome::Detected) detected = true;
    if (outcome == EntryOutcome::NotScanned) notScanned = true;
  }
  if (detected) return kExitDetected;
  if (notScanned) return kExitNotScanned;
  return kExitClean;
}

}  // namespace tarvex::console
