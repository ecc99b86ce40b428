// The job frame with allocation failures injected at each step: every job
// ends with a report, an entry saying what was not scanned, and a verdict that
// never reads clean for data that was not scanned. The steps below drive the
// real record, result list and report logic; only the failures are made here.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "job_frame.h"
#include "message_table.h"
#include "result_list.h"
#include "scan_verdict.h"
#include "text_report.h"

using namespace tarvex;

namespace {

ResultEntry Titles(int language) {
  auto t = [language](MessageRow row) { return std::string(MessageText(row, language)); };
  return {t(MessageRow::ProcessNameTitle),    t(MessageRow::ProcessIdTitle),
          t(MessageRow::ScantargetTitle),     t(MessageRow::IsMalwareTitle),
          t(MessageRow::ScannermessageTitle), t(MessageRow::ErrornumberTitle)};
}

JobStopTexts Texts(int language) {
  JobStopTexts texts;
  texts.titles = Titles(language);
  texts.notScannedWord = MessageText(MessageRow::VerdictNotScanned, language);
  texts.reason = MessageText(MessageRow::CouldNotAllocate, language);
  texts.stopNote = MessageText(MessageRow::JobStopped, language);
  return texts;
}

ResultEntry Entry(const ResultList& list, size_t index) {
  return {list.At(index, kProcessName),    list.At(index, kProcessId),
          list.At(index, kScantarget),     list.At(index, kIsMalware),
          list.At(index, kScannermessage), list.At(index, kScannerErrornumber)};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string FullReport(ResultList& results, const std::function<bool()>& cancelled) {
  return BuildTextReport(results, cancelled);
}

enum class Fail { Nowhere, Begin, ScanAfterOneBlock, ScanOther, Report };

// A folder job: Begin resets the record as BeginScanJob does, Scan scans two
// clean files, End builds the report as EndScanJob does.
class FolderJobSteps : public JobSteps {
 public:
  FolderJobSteps(JobRecord& record, Fail fail) : record_(record), fail_(fail) {}

  void Begin() override {
    calls.push_back("Begin");
    record_.errorNumber = 0;
    record_.verdict = kVerdictNothingScanned;
    if (fail_ == Fail::Begin) throw std::bad_alloc();
    record_.results.StartWithTitles(Titles(kEnglish));
  }
  void Scan() override {
    calls.push_back("Scan");
    AppendClean("C:\\data\\a.txt:s");
    if (fail_ == Fail::ScanAfterOneBlock) throw std::bad_alloc();
    if (fail_ == Fail::ScanOther) throw std::length_error("too long");
    AppendClean("C:\\data\\b.txt:s");
  }
  void RecordStop(JobStage stage, JobFault fault) noexcept override {
    calls.push_back(stage == JobStage::Begin ? "RecordStop(Begin)" : "RecordStop(Scanner)");
    stoppedWith = fault;
    RecordStoppedJob(record_, JobKind::Folder, JobSubject(JobKind::Folder, "C:\\data", "", "", 0),
                     stage, fault, Texts(kEnglish));
  }
  void End() noexcept override {
    calls.push_back("End");
    ResultEntry cutNote;
    cutNote.scannermessage = "EndScanJob -> report cut";
    cutNote.scannerErrornumber = "8";
    report = BuildJobReport(
        record_.results, [] { return false; }, cutNote,
        [this](ResultList& results, const std::function<bool()>& cancelled) {
          if (fail_ == Fail::Report) throw std::bad_alloc();
          return FullReport(results, cancelled);
        });
  }

  std::vector<std::string> calls;
  JobFault stoppedWith = JobFault::Other;
  std::string report;

 private:
  void AppendClean(const std::string& target) {
    record_.verdict = NextJobVerdict(record_.verdict, ScanOutcome::Clean);
    AppendResultEntry(record_.results, {"", "", target}, "no (1)", "ok  ", record_.errorNumber);
  }

  JobRecord& record_;
  Fail fail_;
};

TEST(JobFrame, EveryJobEndsAndAStopIsRecordedWhereItHappened) {
  struct Case {
    Fail fail;
    std::vector<std::string> calls;
  } cases[] = {
      {Fail::Nowhere, {"Begin", "Scan", "End"}},
      {Fail::Begin, {"Begin", "RecordStop(Begin)", "End"}},
      {Fail::ScanAfterOneBlock, {"Begin", "Scan", "RecordStop(Scanner)", "End"}},
      {Fail::Report, {"Begin", "Scan", "End"}},
  };
  for (const Case& c : cases) {
    JobRecord record;
    FolderJobSteps steps(record, c.fail);
    RunJobFrame(steps);
    EXPECT_EQ(c.calls, steps.calls) << static_cast<int>(c.fail);
    EXPECT_FALSE(steps.report.empty()) << static_cast<int>(c.fail);
  }
}

TEST(JobFrame, AScannerThatRunsOutOfMemoryLeavesAnEntryAndNoCleanVerdict) {
  JobRecord record;
  FolderJobSteps steps(record, Fail::ScanAfterOneBlock);
  RunJobFrame(steps);
  EXPECT_EQ(JobFault::OutOfMemory, steps.stoppedWith);
  // One file was scanned clean before the stop; the rest of the tree was not.
  EXPECT_EQ(kVerdictNothingScanned, record.verdict);
  EXPECT_EQ(8, record.errorNumber);
  ASSERT_EQ(3u, record.results.Size());
  const ResultEntry stop = Entry(record.results, 2);
  EXPECT_EQ("", stop.processName);
  EXPECT_EQ("", stop.processId);
  EXPECT_EQ("C:\\data", stop.scantarget);
  EXPECT_EQ("not scanned (0)", stop.isMalware);
  EXPECT_EQ(
      "ScanFolderTree -> Could not allocate memory! The job stopped here; the rest was not "
      "scanned!",
      stop.scannermessage);
  EXPECT_EQ("8", stop.scannerErrornumber);
  // Header, rule, the clean file and the stop.
  EXPECT_EQ(4u, Lines(steps.report).size());
}

TEST(JobFrame, OtherFailuresOfAScannerAreRecordedWithTheInternalErrorNumber) {
  JobRecord record;
  FolderJobSteps steps(record, Fail::ScanOther);
  RunJobFrame(steps);
  EXPECT_EQ(JobFault::Other, steps.stoppedWith);
  EXPECT_EQ(kVerdictNothingScanned, record.verdict);
  EXPECT_EQ(1359, record.errorNumber);
  EXPECT_EQ("1359", Entry(record.results, 2).scannerErrornumber);
}

TEST(JobFrame, ADetectionBeforeTheStopStaysADetection) {
  EXPECT_EQ(kVerdictNothingScanned, VerdictOfStoppedJob(kVerdictNothingScanned));
  EXPECT_EQ(kVerdictNothingScanned, VerdictOfStoppedJob(kVerdictClean));
  EXPECT_EQ(kVerdictDetected, VerdictOfStoppedJob(kVerdictDetected));
}

TEST(JobFrame, ABeginThatFailsReplacesThePreviousJobsEntriesAndVerdict) {
  JobRecord record;
  // The previous job found something.
  record.results.StartWithTitles(Titles(kEnglish));
  AppendResultEntry(record.results, {"", "", "old.bin"}, "yes (32768)", "x", 0);
  record.verdict = kVerdictDetected;

  FolderJobSteps steps(record, Fail::Begin);
  RunJobFrame(steps);
  EXPECT_EQ(kVerdictNothingScanned, record.verdict);
  ASSERT_EQ(2u, record.results.Size());
  EXPECT_EQ("Scantarget", record.results.At(0, kScantarget));
  const ResultEntry stop = Entry(record.results, 1);
  EXPECT_EQ("C:\\data", stop.scantarget);
  EXPECT_EQ(
      "BeginScanJob -> Could not allocate memory! The job stopped here; the rest was not "
      "scanned!",
      stop.scannermessage);
  const auto lines = Lines(steps.report);
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(0u, lines[0].find("Prozessfilename"));
  EXPECT_NE(std::string::npos, lines[2].find("BeginScanJob -> "));
}

TEST(JobFrame, AReportThatCannotBeBuiltWholeKeepsHeaderRuleAndANote) {
  JobRecord record;
  FolderJobSteps steps(record, Fail::Report);
  RunJobFrame(steps);
  // The scan itself was complete: the verdict and the list are as they were.
  EXPECT_EQ(kVerdictClean, record.verdict);
  EXPECT_EQ(3u, record.results.Size());
  const auto lines = Lines(steps.report);
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(0u, lines[0].find("Prozessfilename"));
  EXPECT_EQ(std::string(lines[0].size(), '_'), lines[1]);
  EXPECT_EQ(lines[0].size(), lines[2].size());
  EXPECT_NE(std::string::npos, lines[2].find("EndScanJob -> report cut"));
}

TEST(JobFrame, TheNoteOfACutReportWidensItsColumns) {
  ResultList list;
  list.StartWithTitles(Titles(kGerman));
  ResultEntry note;
  note.scannermessage = std::string(200, 'n');
  note.scannerErrornumber = "8";
  const auto lines = Lines(BuildJobReport(
      list, [] { return false; }, note,
      [](ResultList&, const std::function<bool()>&) -> std::string { throw std::bad_alloc(); }));
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(lines[0].size(), lines[1].size());
  EXPECT_EQ(lines[0].size(), lines[2].size());
  EXPECT_NE(std::string::npos, lines[0].find("Meldung des Scanners" + std::string(183, ' ')));
  // A builder that works gives its own report.
  EXPECT_EQ("whole",
            BuildJobReport(
                list, [] { return false; }, note,
                [](ResultList&, const std::function<bool()>&) { return std::string("whole"); }));
}

TEST(JobFrame, StopEntriesTakeTheFormOfTheJobsOwnEntries) {
  struct Case {
    JobKind kind;
    const char* target;
    const char* second;
    const char* content;
    int64_t processId;
    EntrySubject subject;
    const char* isMalware;
    const char* scanner;
  } cases[] = {
      {JobKind::Stream,
       "C:\\a.txt:s",
       "",
       "",
       0,
       {"", "", "C:\\a.txt:s"},
       "nicht gescannt (0)",
       "ScanStreamContent"},
      {JobKind::FileStreams,
       "C:\\a.txt",
       "",
       "",
       0,
       {"", "", "C:\\a.txt"},
       "nicht gescannt (0)",
       "ScanFileStreams"},
      {JobKind::Folder, "", "", "", 0, {"", "", ""}, "nicht gescannt (0)", "ScanFolderTree"},
      {JobKind::Processes,
       "notepad.exe",
       "",
       "",
       0,
       {"notepad.exe", "", ""},
       "nicht gescannt",
       "ScanProcesses"},
      {JobKind::ProcessMemory,
       "svc.exe",
       "",
       "",
       4711,
       {"svc.exe", "4711", ""},
       "nicht gescannt",
       "ScanProcessMemory"},
      {JobKind::Buffer,
       "host.exe",
       "42",
       "mail.eml",
       0,
       {"host.exe", "42", "mail.eml"},
       "nicht gescannt (0)",
       "ScanBufferCore"},
  };
  for (const Case& c : cases) {
    JobRecord record;
    record.results.StartWithTitles(Titles(kGerman));
    record.verdict = kVerdictClean;
    const EntrySubject subject = JobSubject(c.kind, c.target, c.second, c.content, c.processId);
    RecordStoppedJob(record, c.kind, subject, JobStage::Scanner, JobFault::OutOfMemory,
                     Texts(kGerman));
    ASSERT_EQ(2u, record.results.Size()) << c.scanner;
    const ResultEntry stop = Entry(record.results, 1);
    EXPECT_EQ(c.subject.processName, stop.processName) << c.scanner;
    EXPECT_EQ(c.subject.processId, stop.processId) << c.scanner;
    EXPECT_EQ(c.subject.scantarget, stop.scantarget) << c.scanner;
    EXPECT_EQ(c.isMalware, stop.isMalware) << c.scanner;
    EXPECT_EQ(std::string(c.scanner) +
                  " -> Speicher konnte nicht bereitgestellt werden! Der Auftrag endete hier; der "
                  "Rest wurde nicht gescannt!",
              stop.scannermessage);
    EXPECT_EQ(kVerdictNothingScanned, record.verdict) << c.scanner;
  }
}

TEST(JobFrame, AJobThatCouldNotStartHasTheTitleAndOneEntryNamingTheFailure) {
  JobRecord record;
  record.results.StartWithTitles(Titles(kEnglish));
  AppendResultEntry(record.results, {"", "", "old.bin"}, "no (1)", "x", 0);
  record.verdict = kVerdictClean;
  RecordJobNotStarted(record, JobKind::Folder, JobSubject(JobKind::Folder, "D:\\share", "", "", 0),
                      "CreateThread", "Not enough memory resources are available. ", 8,
                      Texts(kEnglish));
  EXPECT_EQ(kVerdictNothingScanned, record.verdict);
  EXPECT_EQ(8, record.errorNumber);
  ASSERT_EQ(2u, record.results.Size());
  EXPECT_EQ("Is it Malware?", record.results.At(0, kIsMalware));
  const ResultEntry entry = Entry(record.results, 1);
  EXPECT_EQ("D:\\share", entry.scantarget);
  EXPECT_EQ("not scanned (0)", entry.isMalware);
  EXPECT_EQ("CreateThread -> Not enough memory resources are available. ", entry.scannermessage);
  EXPECT_EQ("8", entry.scannerErrornumber);
}

TEST(JobFrame, FaultsAreToldApartAndNumbered) {
  try {
    throw std::bad_alloc();
  } catch (...) {
    EXPECT_EQ(JobFault::OutOfMemory, FaultOfCurrentException());
  }
  try {
    throw std::runtime_error("other");
  } catch (...) {
    EXPECT_EQ(JobFault::Other, FaultOfCurrentException());
  }
  EXPECT_EQ(8, ErrorNumberOf(JobFault::OutOfMemory));
  EXPECT_EQ(1359, ErrorNumberOf(JobFault::Other));
}

TEST(ResultListClear, EmptiesEverythingAndReadsAsAnEmptyList) {
  ResultList list;
  list.StartWithTitles(Titles(kEnglish));
  AppendResultEntry(list, {"", "", "x"}, "no (1)", "m", 0);
  list.Clear();
  EXPECT_EQ(0u, list.Size());
  EXPECT_EQ(nullptr, list.Next(kScantarget));
  for (int32_t width : list.Widths()) EXPECT_EQ(0, width);
  EXPECT_EQ("", BuildHeadAndLine(list, nullptr));
}

}  // namespace
