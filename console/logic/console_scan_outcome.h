// What a job's result entries mean for a script: the outcome of each entry
// and the exit code of the whole run. "Not scanned" is never clean.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex::console {

// One result entry as the engine's getters hand it out (ANSI code page texts).
struct ConsoleEntry {
  std::string processName;
  std::string processId;
  std::string scantarget;
  std::string isMalware;
  std::string scannermessage;
  std::string scannerErrornumber;
};

enum class EntryOutcome { Clean, Detected, NotScanned };

// Outcome from the IsMalware text, in English or German: "yes (...)"/"ja (...)"
// is a detection; "no (...)", "nein (...)" and the empty word of the
// findings-only flag (" (1)") are clean; everything else, the "not scanned"
// and "not supported" words included, counts as not scanned.
EntryOutcome ClassifyIsMalware(const std::string& isMalware);

// Stable outcome name for CSV and JSON: "clean", "detected", "not scanned".
const char* OutcomeName(EntryOutcome outcome);

// Exit code of a finished job: cancelled -> 4; a detection (job verdict 1 or a
// detected entry) -> 1; an unscanned entry, or a job verdict of -1 (nothing
// scanned) -> 2; else 0. entries excludes the title entry.
int ScanExitCode(intptr_t jobVerdict, const std::vector<ConsoleEntry>& entries, bool cancelled);

}  // namespace tarvex::console
