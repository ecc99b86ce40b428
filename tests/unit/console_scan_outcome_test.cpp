// Outcome of result entries and the exit code of a run: "not scanned" is
// never clean, and a detection wins over a cancel and over a write failure.
#include <gtest/gtest.h>

#include "console_scan_outcome.h"

namespace tarvex::console {
namespace {

TEST(ConsoleScanOutcome, IsMalwareTextsInBothLanguages) {
  const std::pair<const char*, EntryOutcome> cases[] = {
      {"yes (32768)", EntryOutcome::Detected},
      {"ja (16384)", EntryOutcome::Detected},
      {"no (1)", EntryOutcome::Clean},
      {"nein (0)", EntryOutcome::Clean},
      {" (1)", EntryOutcome::Clean},  // the engine's findings-only flag: clean without a word
      {"not scanned (0)", EntryOutcome::NotScanned},
      {"not scanned", EntryOutcome::NotScanned},  // process open and read failures
      {"nicht gescannt (0)", EntryOutcome::NotScanned},
      {"nicht gescannt", EntryOutcome::NotScanned},
      {"Scan is not supported on this system! (0)", EntryOutcome::NotScanned},
      {"Scan wird auf diesem System nicht unterst\xFCtzt! (0)", EntryOutcome::NotScanned},
      {"Scan wird auf diesem System nicht unterst\xC3\xBCtzt! (0)", EntryOutcome::NotScanned},
      {"", EntryOutcome::NotScanned},
      {"no", EntryOutcome::NotScanned},  // no AMSI result: not a verdict
      {"yesterday (1)", EntryOutcome::NotScanned},
      {"nothing (1)", EntryOutcome::NotScanned},
  };
  for (const auto& [text, outcome] : cases) {
    EXPECT_EQ(ClassifyIsMalware(text), outcome) << '"' << text << '"';
  }
}

TEST(ConsoleScanOutcome, OutcomeNamesAreFixedEnglishWords) {
  EXPECT_STREQ(OutcomeName(EntryOutcome::Clean), "clean");
  EXPECT_STREQ(OutcomeName(EntryOutcome::Detected), "detected");
  EXPECT_STREQ(OutcomeName(EntryOutcome::NotScanned), "not_scanned");
}

TEST(ConsoleScanOutcome, TheAmsiResultIsTheNumberOfAScannedVerdict) {
  struct Case {
    const char* isMalware;
    std::optional<int64_t> amsiResult;
  } cases[] = {
      {"yes (32768)", 32768},
      {"ja (16384)", 16384},
      {"no (1)", 1},
      {"nein (0)", 0},
      {" (1)", 1},
      {"no (-2147024891)", -2147024891},
      {"not scanned (0)", std::nullopt},  // no answer of AMSI: 0 would read as clean
      {"not scanned", std::nullopt},
      {"Scan is not supported on this system! (0)", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AmsiResultOf(c.isMalware, ClassifyIsMalware(c.isMalware)), c.amsiResult)
        << c.isMalware;
  }
}

TEST(ConsoleScanOutcome, CountsPerOutcome) {
  OutcomeCounts counts;
  for (EntryOutcome outcome : {EntryOutcome::Clean, EntryOutcome::Detected, EntryOutcome::Clean,
                               EntryOutcome::NotScanned}) {
    counts.Add(outcome);
  }
  EXPECT_EQ(counts.detected, 1);
  EXPECT_EQ(counts.clean, 2);
  EXPECT_EQ(counts.notScanned, 1);
  EXPECT_EQ(counts.Total(), 4);
}

OutcomeCounts Counts(int64_t detected, int64_t clean, int64_t notScanned) {
  OutcomeCounts counts;
  counts.detected = detected;
  counts.clean = clean;
  counts.notScanned = notScanned;
  return counts;
}

TEST(ConsoleScanOutcome, ExitCodeOfARun) {
  struct Case {
    const char* name;
    OutcomeCounts counts;
    intptr_t verdict;
    bool cancelled;
    bool writeFailed;
    int exitCode;
  };
  const Case cases[] = {
      {"all clean", Counts(0, 2, 0), 0, false, false, kExitClean},
      {"detection", Counts(1, 1, 0), 1, false, false, kExitDetected},
      {"detection beats failure", Counts(1, 0, 1), 1, false, false, kExitDetected},
      {"one failure among clean", Counts(0, 1, 1), 0, false, false, kExitNotScanned},
      {"only failures", Counts(0, 0, 1), -1, false, false, kExitNotScanned},
      {"nothing scanned, no entries", Counts(0, 0, 0), -1, false, false, kExitNotScanned},
      {"verdict says detected", Counts(0, 0, 0), 1, false, false, kExitDetected},
      {"entry says detected", Counts(1, 0, 0), 0, false, false, kExitDetected},
      {"unknown verdict value", Counts(0, 1, 0), 7, false, false, kExitNotScanned},
      {"cancelled after a detection", Counts(1, 3, 0), 1, true, false, kExitDetected},
      {"cancelled, clean so far", Counts(0, 3, 0), 0, true, false, kExitCancelled},
      {"cancelled before anything", Counts(0, 0, 0), -1, true, false, kExitCancelled},
      {"cancelled with a failure", Counts(0, 1, 1), 0, true, false, kExitCancelled},
      {"write failure after a detection", Counts(1, 0, 0), 1, false, true, kExitDetected},
      {"write failure, clean", Counts(0, 5, 0), 0, false, true, kExitWriteFailed},
      {"write failure, not scanned", Counts(0, 0, 1), -1, false, true, kExitWriteFailed},
      {"write failure and cancel", Counts(0, 2, 0), 0, true, true, kExitWriteFailed},
      {"write failure, cancel, detection", Counts(2, 0, 0), 1, true, true, kExitDetected},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunExitCode({c.counts, c.verdict, c.cancelled, c.writeFailed}), c.exitCode) << c.name;
  }
}

TEST(ConsoleScanOutcome, SelfTestExitCodeAfterWritingItsOutput) {
  struct Case {
    int judged;
    bool writeFailed;
    int exitCode;
  } cases[] = {
      {kExitClean, false, kExitClean},    // detected and written
      {kExitClean, true, kExitDetected},  // detected, not written: the detection shows
      {kExitNotScanned, false, kExitNotScanned},
      {kExitNotScanned, true, kExitWriteFailed},
      {kExitNotDetected, false, kExitNotDetected},
      {kExitNotDetected, true, kExitWriteFailed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SelfTestExitCode(c.judged, c.writeFailed), c.exitCode)
        << c.judged << " " << c.writeFailed;
  }
}

}  // namespace
}  // namespace tarvex::console
