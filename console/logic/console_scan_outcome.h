// What a job's result entries mean for a script: the outcome of each entry,
// the counts per outcome and the exit code of the whole run. "Not scanned" is
// never clean, and a detection is never hidden behind another exit code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarvex::console {

// Exit codes of the program; documented in --help, the README and docs/output.md.
enum ExitCode : int {
  kExitClean = 0,        // complete, everything scanned, nothing detected
  kExitDetected = 1,     // at least one detection (wins over cancel and write failures)
  kExitNotScanned = 2,   // complete, nothing detected, something not scanned (or nothing to scan)
  kExitUsage = 3,        // usage error, a target that does not exist, or no engine; nothing scanned
  kExitCancelled = 4,    // Ctrl+C / Ctrl+Break, nothing detected; what was found is written
  kExitNotDetected = 5,  // self-test: AMSI answered but missed the test string
  kExitWriteFailed = 6,  // the output could not be written, nothing detected
};

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
// is a detection; "no (...)", "nein (...)" and the empty word of the engine's
// findings-only flag (" (1)") are clean; everything else, the "not scanned"
// and "not supported" words included, counts as not scanned.
EntryOutcome ClassifyIsMalware(const std::string& isMalware);

// Stable outcome name for CSV and JSON: "clean", "detected", "not_scanned".
const char* OutcomeName(EntryOutcome outcome);

// The AMSI result of a scanned entry: the number in the closing "(n)" of a
// clean or detected verdict. Not-scanned entries carry none: their "(0)" is
// no answer of AMSI (0 would read as AMSI_RESULT_CLEAN).
std::optional<int64_t> AmsiResultOf(const std::string& isMalware, EntryOutcome outcome);

struct OutcomeCounts {
  int64_t detected = 0;
  int64_t clean = 0;
  int64_t notScanned = 0;
  void Add(EntryOutcome outcome);
  int64_t Total() const { return detected + clean + notScanned; }
};

// What decides the exit code of a scan.
struct RunState {
  OutcomeCounts counts;     // every entry of the job, written or filtered out
  intptr_t jobVerdict = 0;  // GetScanResult: -1 nothing scanned, 0 clean, 1 detection
  bool cancelled = false;   // Ctrl+C: the counts cover what was found so far
  bool writeFailed = false;
};

// detected (an entry or the job verdict) -> 1; else a write failure -> 6;
// else cancelled -> 4; else an unscanned entry, no entry at all or a job
// verdict other than 0 -> 2; else 0.
int RunExitCode(const RunState& state);

// The self-test's exit code once its output was written or not: a failed
// write turns "detected" (0) into 1 and every other judgement into 6.
int SelfTestExitCode(int judgedExitCode, bool writeFailed);

}  // namespace tarvex::console
