// Outcome of result entries and the exit code of a job: "not scanned" is never clean.
#include <gtest/gtest.h>

#include "console_command_line.h"
#include "console_scan_outcome.h"

namespace tarvex::console {
namespace {

TEST(ConsoleScanOutcome, IsMalwareTextsInBothLanguages) {
  const std::pair<const char*, EntryOutcome> cases[] = {
      {"yes (32768)", EntryOutcome::Detected},
      {"ja (16384)", EntryOutcome::Detected},
      {"no (1)", EntryOutcome::Clean},
      {"nein (0)", EntryOutcome::Clean},
      {" (1)", EntryOutcome::Clean},  // findings-only flag: clean without a word
      {"not scanned (0)", EntryOutcome::NotScanned},
      {"not scanned", EntryOutcome::NotScanned},  // process open and read failures
      {"nicht gescannt (0)", EntryOutcome::NotScanned},
      {"nicht gescannt", EntryOutcome::NotScanned},
      {"Scan is not supported on this system! (0)", EntryOutcome::NotScanned},
      {"Scan wird auf diesem System nicht unterst\xFCtzt! (0)", EntryOutcome::NotScanned},
      {"", EntryOutcome::NotScanned},
      {"no", EntryOutcome::NotScanned},  // no AMSI result: not a verdict
      {"yesterday (1)", EntryOutcome::NotScanned},
      {"nothing (1)", EntryOutcome::NotScanned},
  };
  for (const auto& [text, outcome] : cases) {
    EXPECT_EQ(ClassifyIsMalware(text), outcome) << '"' << text << '"';
  }
}

TEST(ConsoleScanOutcome, OutcomeNames) {
  EXPECT_STREQ(OutcomeName(EntryOutcome::Clean), "clean");
  EXPECT_STREQ(OutcomeName(EntryOutcome::Detected), "detected");
  EXPECT_STREQ(OutcomeName(EntryOutcome::NotScanned), "not scanned");
}

ConsoleEntry WithVerdict(const char* isMalware) {
  ConsoleEntry entry;
  entry.scantarget = "C:\\x";
  entry.isMalware = isMalware;
  return entry;
}

TEST(ConsoleScanOutcome, ExitCodeOfAJob) {
  const ConsoleEntry clean = WithVerdict("no (1)");
  const ConsoleEntry quietClean = WithVerdict(" (1)");
  const ConsoleEntry detected = WithVerdict("yes (32768)");
  const ConsoleEntry failed = WithVerdict("not scanned (0)");
  const ConsoleEntry unsupported = WithVerdict("Scan is not supported on this system! (0)");
  struct Case {
    const char* name;
    intptr_t verdict;
    std::vector<ConsoleEntry> entries;
    bool cancelled;
    int exitCode;
  };
  const Case cases[] = {
      {"all clean", 0, {clean, quietClean}, false, kExitClean},
      {"detection", 1, {clean, detected}, false, kExitDetected},
      {"detection beats failure", 1, {failed, detected}, false, kExitDetected},
      {"one failure among clean", 0, {clean, failed}, false, kExitNotScanned},
      {"only failures", -1, {failed}, false, kExitNotScanned},
      {"unsupported system", -1, {unsupported, unsupported}, false, kExitNotScanned},
      {"nothing scanned, no entries", -1, {}, false, kExitNotScanned},
      {"verdict says detected", 1, {}, false, kExitDetected},
      {"entry says detected", 0, {detected}, false, kExitDetected},
      {"unknown verdict value", 7, {clean}, false, kExitNotScanned},
      {"cancelled", 1, {detected}, true, kExitCancelled},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScanExitCode(c.verdict, c.entries, c.cancelled), c.exitCode) << c.name;
  }
}

}  // namespace
}  // namespace tarvex::console
