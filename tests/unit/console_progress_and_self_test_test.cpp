// Progress line and the judgement of the self-test.
#include <gtest/gtest.h>

#include "console_command_line.h"
#include "console_progress_line.h"
#include "console_self_test.h"
#include "tarvex_test_string.h"
#include "test_content.h"

namespace tarvex::console {
namespace {

TEST(ConsoleProgressLine, FixedWidthKeepsTheEndOfLongNames) {
  EXPECT_EQ(ProgressLine("C:\\a.txt", 3, 30), "3 entries  C:\\a.txt           ");
  EXPECT_EQ(ProgressLine("C:\\a.txt", 1, 20), "1 entry  C:\\a.txt   ");
  EXPECT_EQ(ProgressLine("", -1, 12), "0 entries   ");
  const std::string longName = "C:\\very\\long\\folder\\name\\file.txt:stream";
  const std::string line = ProgressLine(longName, 12, 30);
  EXPECT_EQ(line.size(), 30u);
  EXPECT_EQ(line, "12 entries  ...file.txt:stream");
  EXPECT_EQ(ProgressLine(longName, 1234567, 8), "1234567 ");
  EXPECT_EQ(ProgressLine(longName, 5, 12), "5 entries  .");
}

TEST(ConsoleSelfTest, TestStringMatchesTheSharedOne) {
  EXPECT_EQ(AntivirusTestString(), tarvex_test::AntivirusTestString());
}

SelfTestFacts Facts(intptr_t amsiState, intptr_t verdict, const char* isMalware,
                    const char* message) {
  SelfTestFacts facts;
  facts.amsiState = amsiState;
  facts.jobVerdict = verdict;
  facts.haveEntry = true;
  facts.entry.scantarget = "OstrelleCmd self-test";
  facts.entry.isMalware = isMalware;
  facts.entry.scannermessage = message;
  facts.entry.scannerErrornumber = "0";
  return facts;
}

TEST(ConsoleSelfTest, JudgementPerProviderState) {
  struct Case {
    const char* name;
    SelfTestFacts facts;
    int exitCode;
    const char* conclusion;
  };
  const Case cases[] = {
      {"detects", Facts(2, 1, "yes (32768)", "ok"), kExitClean, "AMSI is usable"},
      {"detects without a session", Facts(1, 1, "yes (32768)", "AmsiOpenSession: x"), kExitClean,
       "without an AMSI session"},
      {"misses", Facts(2, 0, "no (1)", "ok"), kExitNotDetected, "did not detect"},
      {"missing", Facts(0, -1, "Scan is not supported on this system! (0)", "x"), kExitNotScanned,
       "AMSI is not available"},
      {"fails to start", Facts(0, -1, "not scanned (0)", "x"), kExitNotScanned,
       "AmsiInitialize failed"},
      {"no session", Facts(1, -1, "not scanned (0)", "x"), kExitNotScanned,
       "AmsiOpenSession failed"},
      {"scan fails", Facts(2, -1, "nicht gescannt (0)", "x"), kExitNotScanned, "failed to scan"},
  };
  for (const Case& c : cases) {
    const SelfTestReport report = JudgeSelfTest(c.facts);
    EXPECT_EQ(report.exitCode, c.exitCode) << c.name;
    EXPECT_NE(report.text.find(c.conclusion), std::string::npos) << c.name << ": " << report.text;
    EXPECT_NE(report.text.find("AMSI state after the job: " + std::to_string(c.facts.amsiState)),
              std::string::npos)
        << c.name;
    EXPECT_NE(report.text.find(c.facts.entry.isMalware), std::string::npos) << c.name;
  }
  SelfTestFacts noEntry;
  EXPECT_EQ(JudgeSelfTest(noEntry).exitCode, kExitNotScanned);
}

}  // namespace
}  // namespace tarvex::console
