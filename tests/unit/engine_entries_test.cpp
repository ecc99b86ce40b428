// Entries built in one place: AppendResultEntry, the not-scanned entries, and
// the buffer scan's core driven through a stand-in for AMSI and the system's
// texts (its answers are made here).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "message_table.h"
#include "not_scanned.h"
#include "result_list.h"
#include "scan_verdict.h"
#include "scanners/logic/block_scan.h"
#include "text_limits.h"

using namespace tarvex;

namespace {

// The entry after the title entry, or the only entry.
ResultEntry LastEntry(const ResultList& list) {
  const size_t last = list.Size() - 1;
  return {list.At(last, kProcessName),    list.At(last, kProcessId),
          list.At(last, kScantarget),     list.At(last, kIsMalware),
          list.At(last, kScannermessage), list.At(last, kScannerErrornumber)};
}

TEST(ResultEntries, AppendResultEntryCutsTheMessageAndWritesTheErrorNumberInDecimal) {
  ResultList list;
  AppendResultEntry(list, {"svc.exe", "4711", "C:\\a.txt"}, "yes (32768)", "ok ", 0);
  ResultEntry entry = LastEntry(list);
  EXPECT_EQ("svc.exe", entry.processName);
  EXPECT_EQ("4711", entry.processId);
  EXPECT_EQ("C:\\a.txt", entry.scantarget);
  EXPECT_EQ("yes (32768)", entry.isMalware);
  EXPECT_EQ("ok ", entry.scannermessage);
  EXPECT_EQ("0", entry.scannerErrornumber);

  AppendResultEntry(list, {}, "", std::string(kMessageAreaMaxChars + 10, 'm'), -2147467259);
  entry = LastEntry(list);
  EXPECT_EQ(kMessageAreaMaxChars, entry.scannermessage.size());
  EXPECT_EQ("-2147467259", entry.scannerErrornumber);
  EXPECT_EQ(2u, list.Size());
}

TEST(ResultEntries, FailureMessagesNameTheOperationAndCarryTheSessionNote) {
  struct Case {
    const char* operation;
    const char* reason;
    const char* note;
    const char* expected;
  } cases[] = {
      {"ReadFile", "Access is denied. ", "", "ReadFile -> Access is denied. "},
      {"OpenProcess", "The parameter is incorrect. ", " ",
       "OpenProcess -> The parameter is incorrect.  "},
      {"", "Could not allocate memory!", "AmsiOpenSession: failed",
       "Could not allocate memory!AmsiOpenSession: failed"},
      {"ReadFile", "", "", "ReadFile -> "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, FailureMessage(c.operation, c.reason, c.note)) << c.expected;
  }
}

TEST(ResultEntries, NotScannedEntriesTakeTheWordInTheirForm) {
  ResultList list;
  NotScannedCause stream;
  stream.verdictWord = "not scanned";
  stream.form = NotScannedForm::WordAndResult;
  stream.operation = "ReadFile";
  stream.reason = "No data!";
  AppendNotScannedEntry(list, {"", "", "C:\\empty.txt"}, stream, 0);
  ResultEntry entry = LastEntry(list);
  EXPECT_EQ("", entry.processName);
  EXPECT_EQ("", entry.processId);
  EXPECT_EQ("C:\\empty.txt", entry.scantarget);
  EXPECT_EQ("not scanned (0)", entry.isMalware);
  EXPECT_EQ("ReadFile -> No data!", entry.scannermessage);
  EXPECT_EQ("0", entry.scannerErrornumber);

  NotScannedCause process;
  process.verdictWord = "nicht gescannt";
  process.form = NotScannedForm::BareWord;
  process.operation = "ReadProcessMemory";
  process.reason = "Zugriff verweigert ";
  process.sessionNote = " ";
  AppendNotScannedEntry(list, {"C:\\x.exe", "8", "Adresse 0x1000 - 0x2000"}, process, 5);
  entry = LastEntry(list);
  EXPECT_EQ("C:\\x.exe", entry.processName);
  EXPECT_EQ("8", entry.processId);
  EXPECT_EQ("Adresse 0x1000 - 0x2000", entry.scantarget);
  EXPECT_EQ("nicht gescannt", entry.isMalware);
  EXPECT_EQ("ReadProcessMemory -> Zugriff verweigert  ", entry.scannermessage);
  EXPECT_EQ("5", entry.scannerErrornumber);

  // A reason as long as the message area: the note does not fit any more.
  NotScannedCause longReason = process;
  longReason.operation.clear();
  longReason.reason = std::string(kMessageAreaMaxChars, 'r');
  longReason.sessionNote = "AmsiInitialize: failed";
  AppendNotScannedEntry(list, {}, longReason, 8);
  EXPECT_EQ(std::string(kMessageAreaMaxChars, 'r'), LastEntry(list).scannermessage);
}

TEST(PiecesInTurn, FirstDetectionElseFirstFailureElseLastCleanAnswer) {
  constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);
  constexpr int32_t kDenied = static_cast<int32_t>(0x80070005u);
  struct Case {
    const char* what;
    std::vector<AmsiAnswer> answers;
    AmsiAnswer expected;
    size_t scannedCount;
  } cases[] = {
      {"one clean piece", {{0, 1}}, {0, 1}, 1},
      {"all clean: the last answer", {{0, 1}, {0, 0}, {0, 1}}, {0, 1}, 3},
      {"detection stops the scan", {{0, 1}, {0, 32768}, {0, 16384}}, {0, 32768}, 2},
      {"first failure over later failures", {{kFail, 0}, {kDenied, 0}, {0, 1}}, {kFail, 0}, 3},
      {"a detection after a failure wins", {{kDenied, 7}, {0, 16384}}, {0, 16384}, 2},
      {"a failed call's result is no detection", {{kFail, 32768}, {0, 1}}, {kFail, 32768}, 2},
  };
  for (const Case& c : cases) {
    std::vector<tarvex::ScanPiece> pieces;
    for (size_t i = 0; i < c.answers.size(); ++i) pieces.push_back({i * 100, 100});
    size_t scanned = 0;
    const AmsiAnswer answer = ScanPiecesInTurn(pieces, [&](const ScanPiece& piece) {
      EXPECT_EQ(pieces[scanned].offset, piece.offset) << c.what;
      return c.answers[scanned++];
    });
    EXPECT_EQ(c.expected.status, answer.status) << c.what;
    EXPECT_EQ(c.expected.result, answer.result) << c.what;
    EXPECT_EQ(c.scannedCount, scanned) << c.what;
  }
  const AmsiAnswer none = ScanPiecesInTurn({}, [](const ScanPiece&) { return AmsiAnswer{1, 1}; });
  EXPECT_EQ(0, none.status);
  EXPECT_EQ(0, none.result);
}

// AMSI and the system's texts as a test scripts them; records every piece.
class ScriptedAmsi : public BlockScanHost {
 public:
  explicit ScriptedAmsi(std::vector<AmsiAnswer> answers) : answers_(std::move(answers)) {}

  AmsiAnswer ScanPiece(uint64_t offset, uint32_t length) override {
    pieces.push_back(tarvex::ScanPiece{offset, length});
    const size_t index = pieces.size() - 1;
    return index < answers_.size() ? answers_[index] : answers_.back();
  }
  std::string SystemErrorText(uint32_t errorNumber) override {
    return "text of " + std::to_string(errorNumber) + ". ";
  }
  // Stands in for LsaNtStatusToWinError: the low 16 bits of a failure.
  uint32_t ErrorNumberOf(int32_t status) override {
    return status == 0 ? 0 : static_cast<uint32_t>(status) & 0xFFFFu;
  }

  std::vector<tarvex::ScanPiece> pieces;

 private:
  std::vector<AmsiAnswer> answers_;
};

JobRecord NewJob() {
  JobRecord record;
  record.verdict = kVerdictNothingScanned;
  record.results.StartWithTitles({"t1", "t2", "t3", "t4", "t5", "t6"});
  return record;
}

TEST(BlockScan, EachAnswerGivesItsEntryVerdictAndErrorNumber) {
  constexpr int32_t kDenied = static_cast<int32_t>(0x80070005u);
  struct Case {
    const char* what;
    AmsiAnswer answer;
    int32_t findingsOnly;
    int languageIndex;
    intptr_t verdictAfter;
    const char* isMalware;
    const char* message;
    const char* errorNumber;
  } cases[] = {
      {"clean", {0, 1}, 0, kEnglish, kVerdictClean, "no (1)", "text of 0.  ", "0"},
      {"clean, AMSI result 0", {0, 0}, 0, kEnglish, kVerdictClean, "no (0)", "text of 0.  ", "0"},
      {"detection", {0, 32768}, 0, kEnglish, kVerdictDetected, "yes (32768)", "text of 0.  ", "0"},
      {"clean, findings only", {0, 1}, 1, kEnglish, kVerdictClean, " (1)", "text of 0.  ", "0"},
      {"detection, findings only",
       {0, 16384},
       1,
       kEnglish,
       kVerdictDetected,
       "yes (16384)",
       "text of 0.  ",
       "0"},
      {"failed call",
       {kDenied, 0},
       0,
       kEnglish,
       kVerdictNothingScanned,
       "not scanned (0)",
       "text of 5.  ",
       "5"},
      {"German detection",
       {0, 32768},
       0,
       kGerman,
       kVerdictDetected,
       "ja (32768)",
       "text of 0.  ",
       "0"},
      {"German failure",
       {kDenied, 0},
       1,
       kGerman,
       kVerdictNothingScanned,
       "nicht gescannt (0)",
       "text of 5.  ",
       "5"},
  };
  for (const Case& c : cases) {
    ScriptedAmsi amsi({c.answer});
    JobRecord record = NewJob();
    const BlockScanJob job{c.languageIndex, c.findingsOnly, " "};
    ScanBlock(amsi, {"p.exe", "12", "block"}, 100, job, record);
    ASSERT_EQ(1u, amsi.pieces.size()) << c.what;
    EXPECT_EQ(0u, amsi.pieces[0].offset) << c.what;
    EXPECT_EQ(100u, amsi.pieces[0].length) << c.what;
    EXPECT_EQ(c.verdictAfter, record.verdict) << c.what;
    ASSERT_EQ(2u, record.results.Size()) << c.what;
    const ResultEntry entry = LastEntry(record.results);
    EXPECT_EQ("p.exe", entry.processName) << c.what;
    EXPECT_EQ("12", entry.processId) << c.what;
    EXPECT_EQ("block", entry.scantarget) << c.what;
    EXPECT_EQ(c.isMalware, entry.isMalware) << c.what;
    EXPECT_EQ(c.message, entry.scannermessage) << c.what;
    EXPECT_EQ(c.errorNumber, entry.scannerErrornumber) << c.what;
  }
}

TEST(BlockScan, TheJobKeepsItsFirstErrorNumberAndItsDetection) {
  constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);
  JobRecord record = NewJob();
  record.errorNumber = 32;  // an earlier failure of the job
  ScriptedAmsi failing({{kFail, 0}});
  const BlockScanJob job{kEnglish, 0, "AmsiOpenSession: no session. "};
  ScanBlock(failing, {}, 10, job, record);
  EXPECT_EQ(32, record.errorNumber);
  // The message names this answer's error; the entry carries the job's number.
  EXPECT_EQ("text of 16389. AmsiOpenSession: no session. ",
            LastEntry(record.results).scannermessage);
  EXPECT_EQ("32", LastEntry(record.results).scannerErrornumber);

  ScriptedAmsi detecting({{0, 32768}});
  ScanBlock(detecting, {}, 10, job, record);
  EXPECT_EQ(kVerdictDetected, record.verdict);
  ScriptedAmsi clean({{0, 1}});
  ScanBlock(clean, {}, 10, job, record);
  EXPECT_EQ(kVerdictDetected, record.verdict);
  EXPECT_EQ(4u, record.results.Size());
}

TEST(BlockScan, ABlockBeyondFourGiBIsScannedInOverlappingPiecesUntilADetection) {
  const uint64_t length = (uint64_t{5} << 30) + 7;  // 5 GiB and 7 bytes
  const std::vector<ScanPiece> planned =
      PlanScanPieces(length, kLargeBlockPieceLength, kLargeBlockOverlapLength);
  ASSERT_EQ(3u, planned.size());

  ScriptedAmsi clean({{0, 1}});
  JobRecord record = NewJob();
  ScanBlock(clean, {}, length, BlockScanJob{kEnglish, 0, " "}, record);
  ASSERT_EQ(planned.size(), clean.pieces.size());
  for (size_t i = 0; i < planned.size(); ++i) {
    EXPECT_EQ(planned[i].offset, clean.pieces[i].offset) << i;
    EXPECT_EQ(planned[i].length, clean.pieces[i].length) << i;
  }
  EXPECT_EQ(length, clean.pieces.back().offset + clean.pieces.back().length);
  EXPECT_EQ("no (1)", LastEntry(record.results).isMalware);

  ScriptedAmsi detectingSecond({{0, 1}, {0, 32768}});
  record = NewJob();
  ScanBlock(detectingSecond, {}, length, BlockScanJob{kEnglish, 0, " "}, record);
  EXPECT_EQ(2u, detectingSecond.pieces.size());
  EXPECT_EQ("yes (32768)", LastEntry(record.results).isMalware);
  EXPECT_EQ(2u, record.results.Size());
}

TEST(BlockScan, AnUnsupportedSystemGivesItsOwnEntryWithoutAnAmsiCall) {
  for (int language : {kEnglish, kGerman}) {
    ScriptedAmsi amsi({{0, 1}});
    JobRecord record = NewJob();
    AppendUnsupportedEntry(amsi, {"p.exe", "1", "block"}, language, record);
    EXPECT_TRUE(amsi.pieces.empty());
    EXPECT_EQ(kErrorBadDriverLevel, record.errorNumber);
    EXPECT_EQ(kVerdictNothingScanned, record.verdict);
    const ResultEntry entry = LastEntry(record.results);
    EXPECT_EQ(std::string(MessageText(MessageRow::NotSupported, language)) + " (0)",
              entry.isMalware);
    EXPECT_EQ("text of 119. ", entry.scannermessage);
    EXPECT_EQ("119", entry.scannerErrornumber);
    EXPECT_EQ("block", entry.scantarget);
  }
}

}  // namespace
