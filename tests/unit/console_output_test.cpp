// The records of a run and their three forms, read back the way a script
// reads them: members and types, counts, the filter, the exit code in
// run_end, write failures, CSV quoting with one line end, the report form.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "console_output_formats.h"
#include "console_records.h"
#include "console_run_output.h"
#include "csv_json.h"

namespace tarvex::console {
namespace {

using nlohmann::json;
using tarvex_test::ReadCsv;
using tarvex_test::ReadJsonLines;

// Windows-1252 to UTF-8 for the bytes the tests use (Latin-1 range).
std::string Latin1ToUtf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Same(const std::string& text) { return text; }

const ConsoleEntry kTitles = {"Prozessfilename", "Process-ID",     "Scantarget",
                              "Is it Malware?",  "Scannermessage", "Scanner Errorcode"};

// A job's list as the engine hands it out: the title entry, then the objects.
class VectorCursor : public EntryCursor {
 public:
  explicit VectorCursor(std::vector<ConsoleEntry> entries) : entries_(std::move(entries)) {}
  void Restart() override {
    next_ = 0;
    ++restarts;
  }
  bool Next(ConsoleEntry* entry) override {
    if (next_ >= entries_.size()) return false;
    *entry = entries_[next_++];
    return true;
  }
  int restarts = 0;

 private:
  std::vector<ConsoleEntry> entries_;
  size_t next_ = 0;
};

// Keeps what is written; refuses once capacityBytes would be passed (a full
// disk, a closed pipe).
class StringSink : public TextSink {
 public:
  explicit StringSink(size_t capacityBytes = SIZE_MAX) : capacity_(capacityBytes) {}
  bool Write(std::string_view text) override {
    ++writes;
    if (text.size() > capacity_ - std::min(capacity_, text_.size())) return false;
    text_.append(text.data(), text.size());
    return true;
  }
  bool Flush() override {
    ++flushes;
    return true;
  }
  const std::string& Text() const { return text_; }
  int writes = 0;
  int flushes = 0;

 private:
  size_t capacity_;
  std::string text_;
};

RunStart SampleStart(bool findingsOnly = false) {
  RunStart start;
  start.program = "OstrelleCmd64.exe";
  start.programVersion = "1.2.3";
  start.engineVersion = "1.2.3";
  start.host = "PC1";
  start.user = "PC1\\admin";
  start.startTime = "2026-12-10T12:00:00Z";
  start.command = "folder";
  start.target = "D:\\Shares \xD0\x96";  // "Ж"
  start.findingsOnly = findingsOnly;
  return start;
}

RunOutputSettings Settings(OutputFormat format, bool findingsOnly = false, intptr_t verdict = 1,
                           bool cancelled = false) {
  RunOutputSettings settings;
  settings.format = format;
  settings.findingsOnly = findingsOnly;
  settings.toUtf8 = &Same;
  settings.endTime = [] { return std::string("2026-12-10T12:03:10Z"); };
  settings.partial = cancelled;
  settings.exitCode = [verdict, cancelled](const OutcomeCounts& counts, bool writeFailed) {
    return RunExitCode({counts, verdict, cancelled, writeFailed});
  };
  return settings;
}

// UTF-8 names (Cyrillic, CJK, an emoji), a detection, a clean object, a failure.
std::vector<ConsoleEntry> SampleList() {
  return {
      kTitles,
      {"", "", "D:\\Shares\\a.txt:hidden", "yes (32768)", "Success.  ", "0"},
      {"", "", "D:\\Shares\\caf\xC3\xA9 \xD0\x96.txt:Zone.Identifier", "no (1)", "Success. ", "0"},
      {"", "", "D:\\Shares\\\xE5\xA0\xB1\xE5\x91\x8A \xF0\x9F\x93\x84.docx:meta", "yes (16384)",
       " Success. ", "0"},
      {"svc.exe", "712", "Address 0x7FF0000", "not scanned",
       "ReadProcessMemory -> Access is denied. ", "5"},
  };
}

// ---- object records ---------------------------------------------------------

TEST(ConsoleRecords, ObjectRecordsCarryNumbersTheOutcomeAndTrimmedMessages) {
  struct Case {
    ConsoleEntry entry;
    std::optional<int64_t> processId;
    std::optional<int64_t> amsiResult;
    EntryOutcome outcome;
    std::string message;
    std::optional<int64_t> errorNumber;
  };
  const Case cases[] = {
      {{"", "", "a.txt:s", "yes (32768)", "Success. ", "0"},
       std::nullopt,
       32768,
       EntryOutcome::Detected,
       "Success.",
       0},
      {{"notepad.exe", "4711", "Address 0x1000", "no (1)", "  ok\r\n", "0"},
       4711,
       1,
       EntryOutcome::Clean,
       "ok",
       0},
      {{"p.exe", "12", "x", "not scanned (0)", "AmsiScanBuffer -> denied. ", "-2147024891"},
       12,
       std::nullopt,
       EntryOutcome::NotScanned,
       "AmsiScanBuffer -> denied.",
       -2147024891},
      {{"p.exe", "12", "", "not scanned", "OpenProcess -> The parameter is incorrect. ", "87"},
       12,
       std::nullopt,
       EntryOutcome::NotScanned,
       "OpenProcess -> The parameter is incorrect.",
       87},
      {{"", "", "mail", "ja (16384)", "", "0"}, std::nullopt, 16384, EntryOutcome::Detected, "", 0},
      {{"", "", "mail", "nein (1)", " ", "0"}, std::nullopt, 1, EntryOutcome::Clean, "", 0},
      {{"", "x12", "mail", "no (1)", "", ""},
       std::nullopt,
       1,
       EntryOutcome::Clean,
       "",
       std::nullopt},
  };
  for (const Case& c : cases) {
    const ObjectRecord record = MakeObjectRecord(c.entry, &Same);
    EXPECT_EQ(record.processId, c.processId) << c.entry.isMalware;
    EXPECT_EQ(record.amsiResult, c.amsiResult) << c.entry.isMalware;
    EXPECT_EQ(record.outcome, c.outcome) << c.entry.isMalware;
    EXPECT_EQ(record.scannermessage, c.message) << c.entry.isMalware;
    EXPECT_EQ(record.scannerErrornumber, c.errorNumber) << c.entry.isMalware;
    EXPECT_EQ(record.isMalware, c.entry.isMalware);
    EXPECT_EQ(record.scantarget, c.entry.scantarget);
  }
}

TEST(ConsoleRecords, AnsiTextsAreConvertedToUtf8) {
  const ObjectRecord record = MakeObjectRecord({"Gr\xFC\xDF.exe", "1",
                                                "C:\\Gr\xFC\xDF"
                                                "e\\a.txt",
                                                "nicht gescannt", "unterst\xFCtzt ", "0"},
                                               &Latin1ToUtf8);
  EXPECT_EQ(record.processName, "Gr\xC3\xBC\xC3\x9F.exe");
  EXPECT_EQ(record.scantarget,
            "C:\\Gr\xC3\xBC\xC3\x9F"
            "e\\a.txt");
  EXPECT_EQ(record.scannermessage, "unterst\xC3\xBCtzt");
}

TEST(ConsoleRecords, TimesAndVersions) {
  EXPECT_EQ(Iso8601Utc({2026, 12, 10, 12, 3, 9}), "2026-12-10T12:03:09Z");
  EXPECT_EQ(Iso8601Utc({2027, 1, 1, 0, 0, 0}), "2027-01-01T00:00:00Z");
  EXPECT_EQ(VersionText(1, 0, 0, 0), "1.0.0");
  EXPECT_EQ(VersionText(1, 2, 3, 4), "1.2.3.4");
}

// ---- JSON Lines ---------------------------------------------------------------

TEST(ConsoleJsonLines, ARunIsStartObjectsEndWithTypedMembers) {
  VectorCursor list(SampleList());
  StringSink sink;
  const RunOutcome outcome = WriteRun(SampleStart(), list, Settings(OutputFormat::Json), sink);
  EXPECT_EQ(outcome.exitCode, kExitDetected);
  EXPECT_FALSE(outcome.writeFailed);
  EXPECT_EQ(sink.Text().find('\r'), std::string::npos) << "lines end in LF only";
  ASSERT_EQ(sink.Text().back(), '\n');

  const std::vector<json> records = ReadJsonLines(sink.Text());
  ASSERT_EQ(records.size(), 6u) << sink.Text();
  // Members in the documented order, with their JSON types.
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = sink.Text().find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(sink.Text().substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0],
            "{\"Record\":\"run_start\",\"SchemaVersion\":1,\"Program\":\"OstrelleCmd64.exe\","
            "\"ProgramVersion\":\"1.2.3\",\"EngineVersion\":\"1.2.3\",\"Host\":\"PC1\","
            "\"User\":\"PC1\\\\admin\",\"StartTime\":\"2026-12-10T12:00:00Z\",\"Command\":"
            "\"folder\",\"Target\":\"D:\\\\Shares \xD0\x96\",\"FindingsOnly\":false}");
  EXPECT_EQ(lines[1],
            "{\"Record\":\"object\",\"ProcessName\":\"\",\"ProcessID\":null,\"Scantarget\":"
            "\"D:\\\\Shares\\\\a.txt:hidden\",\"IsMalware\":\"yes (32768)\",\"AmsiResult\":32768,"
            "\"Outcome\":\"detected\",\"Scannermessage\":\"Success.\",\"ScannerErrornumber\":0}");
  EXPECT_EQ(records[2]["Scantarget"], "D:\\Shares\\caf\xC3\xA9 \xD0\x96.txt:Zone.Identifier");
  EXPECT_EQ(records[2]["Outcome"], "clean");
  EXPECT_EQ(records[3]["Scantarget"],
            "D:\\Shares\\\xE5\xA0\xB1\xE5\x91\x8A \xF0\x9F\x93\x84.docx:meta");
  EXPECT_EQ(records[3]["Scannermessage"], "Success.");
  EXPECT_EQ(records[4]["ProcessID"], 712);
  EXPECT_TRUE(records[4]["AmsiResult"].is_null());
  EXPECT_EQ(records[4]["Outcome"], "not_scanned");
  EXPECT_EQ(records[4]["ScannerErrornumber"], 5);
  EXPECT_EQ(lines[5],
            "{\"Record\":\"run_end\",\"SchemaVersion\":1,\"EndTime\":\"2026-12-10T12:03:10Z\","
            "\"Detected\":2,\"Clean\":1,\"NotScanned\":1,\"Partial\":false,\"ExitCode\":1}");
  // The names are written as UTF-8 bytes, not as \u escapes.
  EXPECT_NE(sink.Text().find("\xF0\x9F\x93\x84"), std::string::npos);
}

TEST(ConsoleJsonLines, FindingsOnlyWritesDetectionsAndFailuresButCountsEverything) {
  VectorCursor list(SampleList());
  StringSink sink;
  const RunOutcome outcome =
      WriteRun(SampleStart(true), list, Settings(OutputFormat::Json, true), sink);
  const std::vector<json> records = ReadJsonLines(sink.Text());
  ASSERT_EQ(records.size(), 5u) << sink.Text();
  EXPECT_EQ(records[0]["FindingsOnly"], true);
  for (size_t i = 1; i + 1 < records.size(); ++i) EXPECT_NE(records[i]["Outcome"], "clean");
  EXPECT_EQ(records.back()["Clean"], 1) << "the filtered object is still counted";
  EXPECT_EQ(records.back()["Detected"], 2);
  EXPECT_EQ(outcome.counts.Total(), 4);
}

TEST(ConsoleJsonLines, ACancelledRunIsMarkedPartialWithItsExitCode) {
  struct Case {
    std::vector<ConsoleEntry> list;
    intptr_t verdict;
    int exitCode;
  };
  const Case cases[] = {
      {{kTitles, {"", "", "a", "no (1)", "", "0"}}, 0, kExitCancelled},
      {{kTitles, {"", "", "a", "no (1)", "", "0"}, {"", "", "b", "yes (32768)", "", "0"}},
       1,
       kExitDetected},
      {{kTitles}, -1, kExitCancelled},
      {{}, -1, kExitCancelled},  // cancelled before any job: no title entry either
  };
  for (const Case& c : cases) {
    VectorCursor list(c.list);
    StringSink sink;
    const RunOutcome outcome =
        WriteRun(SampleStart(), list, Settings(OutputFormat::Json, false, c.verdict, true), sink);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
    const std::vector<json> records = ReadJsonLines(sink.Text());
    ASSERT_EQ(records.size(), c.list.empty() ? 2u : c.list.size() + 1) << sink.Text();
    EXPECT_EQ(records.back()["Partial"], true);
    EXPECT_EQ(records.back()["ExitCode"], c.exitCode);
  }
}

TEST(ConsoleJsonLines, InvalidUtf8DoesNotStopTheOutput) {
  VectorCursor list({kTitles, {"", "", "C:\\bad\xFFname", "no (1)", "", "0"}});
  StringSink sink;
  WriteRun(SampleStart(), list, Settings(OutputFormat::Json, false, 0), sink);
  const std::vector<json> records = ReadJsonLines(sink.Text());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1]["Scantarget"], "C:\\bad\xEF\xBF\xBDname");  // U+FFFD for the bad byte
}

// ---- write failures -------------------------------------------------------------

TEST(ConsoleRunOutput, AWriteFailureStopsTheOutputButNeverHidesADetection) {
  StringSink full(0);
  VectorCursor detected(SampleList());
  RunOutcome outcome = WriteRun(SampleStart(), detected, Settings(OutputFormat::Json), full);
  EXPECT_TRUE(outcome.writeFailed);
  EXPECT_EQ(outcome.exitCode, kExitDetected);
  EXPECT_EQ(outcome.counts.detected, 2) << "the entries after the failure are still counted";
  EXPECT_EQ(full.writes, 1) << "nothing more is tried after the first failure";
  EXPECT_EQ(full.flushes, 0);

  // Full after the first records: the detection comes later in the list.
  const std::vector<ConsoleEntry> lateDetection = {kTitles,
                                                   {"", "", "a", "no (1)", "", "0"},
                                                   {"", "", "b", "no (1)", "", "0"},
                                                   {"", "", "c", "yes (32768)", "", "0"}};
  for (OutputFormat format : {OutputFormat::Json, OutputFormat::Csv, OutputFormat::Report}) {
    StringSink halfFull(300);
    VectorCursor list(lateDetection);
    outcome = WriteRun(SampleStart(), list, Settings(format), halfFull);
    EXPECT_TRUE(outcome.writeFailed);
    EXPECT_EQ(outcome.exitCode, kExitDetected);
  }

  const std::vector<ConsoleEntry> clean = {kTitles, {"", "", "a", "no (1)", "", "0"}};
  for (bool cancelled : {false, true}) {
    StringSink closed(0);
    VectorCursor list(clean);
    outcome =
        WriteRun(SampleStart(), list, Settings(OutputFormat::Csv, false, 0, cancelled), closed);
    EXPECT_EQ(outcome.exitCode, kExitWriteFailed) << cancelled;
  }
}

TEST(ConsoleRunOutput, RunEndCarriesTheExitCodeOfTheWholeRun) {
  struct Case {
    std::vector<ConsoleEntry> list;
    intptr_t verdict;
    int exitCode;
  };
  const Case cases[] = {
      {{kTitles, {"", "", "a", "no (1)", "", "0"}}, 0, kExitClean},
      {{kTitles, {"", "", "a", "no (1)", "", "0"}, {"", "", "b", "not scanned (0)", "", "5"}},
       0,
       kExitNotScanned},
      {{kTitles}, -1, kExitNotScanned},
      {SampleList(), 1, kExitDetected},
  };
  for (const Case& c : cases) {
    VectorCursor list(c.list);
    StringSink sink;
    const RunOutcome outcome =
        WriteRun(SampleStart(), list, Settings(OutputFormat::Json, false, c.verdict), sink);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
    EXPECT_EQ(ReadJsonLines(sink.Text()).back()["ExitCode"], c.exitCode);
  }
}

// ---- CSV ---------------------------------------------------------------------------

TEST(ConsoleCsv, TheSameMembersAsColumnsWithLfLineEnds) {
  VectorCursor list({kTitles,
                     {"", "", "C:\\q\"uote,comma.txt", "yes (32768)", "a, b \"c\"", "0"},
                     {"svc.exe", "4", "Address 0x10", "not scanned", "x", "5"}});
  StringSink sink;
  WriteRun(SampleStart(), list, Settings(OutputFormat::Csv), sink);
  const std::string& text = sink.Text();
  EXPECT_EQ(text.find('\r'), std::string::npos) << "one line end: LF";
  EXPECT_EQ(text.rfind("Record,ProcessName,ProcessID,Scantarget,IsMalware,AmsiResult,Outcome,"
                       "Scannermessage,ScannerErrornumber,SchemaVersion,Program,ProgramVersion,"
                       "EngineVersion,Host,User,StartTime,Command,Target,FindingsOnly,EndTime,"
                       "Detected,Clean,NotScanned,Partial,ExitCode\n",
                       0),
            0u);
  const auto rows = ReadCsv(text);
  ASSERT_EQ(rows.size(), 5u) << text;
  for (const auto& row : rows) EXPECT_EQ(row.size(), kCsvColumns.size());
  const auto column = [&](const char* name) {
    return static_cast<size_t>(
        std::find(kCsvColumns.begin(), kCsvColumns.end(), std::string(name)) - kCsvColumns.begin());
  };
  EXPECT_EQ(rows[1][0], "run_start");
  EXPECT_EQ(rows[1][column("Target")], "D:\\Shares \xD0\x96");
  EXPECT_EQ(rows[1][column("FindingsOnly")], "false");
  EXPECT_EQ(rows[1][column("SchemaVersion")], "1");
  EXPECT_EQ(rows[1][column("Scantarget")], "");
  EXPECT_EQ(rows[2][0], "object");
  EXPECT_EQ(rows[2][column("Scantarget")], "C:\\q\"uote,comma.txt");
  EXPECT_EQ(rows[2][column("Scannermessage")], "a, b \"c\"");
  EXPECT_EQ(rows[2][column("AmsiResult")], "32768");
  EXPECT_EQ(rows[2][column("ProcessID")], "") << "null is an empty cell";
  EXPECT_EQ(rows[2][column("Host")], "");
  EXPECT_EQ(rows[3][column("ProcessID")], "4");
  EXPECT_EQ(rows[3][column("AmsiResult")], "");
  EXPECT_EQ(rows[3][column("Outcome")], "not_scanned");
  EXPECT_EQ(rows[4][0], "run_end");
  EXPECT_EQ(rows[4][column("Detected")], "1");
  EXPECT_EQ(rows[4][column("NotScanned")], "1");
  EXPECT_EQ(rows[4][column("Partial")], "false");
  EXPECT_EQ(rows[4][column("ExitCode")], "1");
  EXPECT_EQ(rows[4][column("EndTime")], "2026-12-10T12:03:10Z");
}

TEST(ConsoleCsv, CellsAreQuotedOnlyWhenTheyMustBe) {
  ObjectRecord object;
  object.scantarget = "line\r\nbreak";
  object.isMalware = "no (1)";
  object.outcome = EntryOutcome::Clean;
  object.scannermessage = "plain text";
  const std::string line = CsvObjectLine(object);
  EXPECT_EQ(line, "object,,,\"line\r\nbreak\",no (1),,clean,plain text,,,,,,,,,,,,,,,,,\n");
}

// ---- the report -------------------------------------------------------------------

TEST(ConsoleReport, TheEngineFormOfAJobWithoutEntries) {
  VectorCursor list({kTitles});
  StringSink sink;
  WriteRun(SampleStart(), list, Settings(OutputFormat::Report, false, -1), sink);
  const std::string header =
      "Prozessfilename   Process-ID   Scantarget   Is it Malware?   Scannermessage   "
      "Scanner Errorcode   \r\n";
  EXPECT_EQ(header.size() - 2, 98u);
  EXPECT_EQ(sink.Text(), header + std::string(98, '_') + "\r\n");
}

TEST(ConsoleReport, ColumnsWidenToTheLongestTextInCharacters) {
  const std::string name40 = "C:\\" + std::string(33, 'x') + ".txt";  // 40 characters
  const std::string cyrillic = "C:\\\xD0\x96\xD0\x96.txt";            // 9 characters, 11 bytes
  VectorCursor list({kTitles,
                     {"", "", name40, "no (1)", "Success.", "0"},
                     {"", "", cyrillic, "yes (32768)", "Success.", "0"}});
  StringSink sink;
  WriteRun(SampleStart(), list, Settings(OutputFormat::Report), sink);
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = sink.Text().find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    lines.push_back(sink.Text().substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 4u);
  const size_t scantargetColumn = std::string("Prozessfilename   Process-ID   ").size();
  EXPECT_EQ(lines[0].substr(scantargetColumn, 43), "Scantarget" + std::string(33, ' '));
  EXPECT_EQ(lines[2].substr(scantargetColumn, 43), name40 + "   ");
  EXPECT_EQ(lines[3].substr(scantargetColumn, 11 + 34), cyrillic + std::string(34, ' '));
  EXPECT_EQ(lines[1], std::string(lines[0].size(), '_'));
}

TEST(ConsoleReport, FindingsOnlyAndCancelledReportsListWhatIsWritten) {
  VectorCursor list(SampleList());
  StringSink sink;
  const RunOutcome outcome =
      WriteRun(SampleStart(true), list, Settings(OutputFormat::Report, true, 1, true), sink);
  EXPECT_EQ(outcome.exitCode, kExitDetected);
  EXPECT_EQ(outcome.counts.clean, 1);
  EXPECT_EQ(list.restarts, 2) << "the report reads the list twice: widths, then lines";
  EXPECT_EQ(sink.Text().find("Zone.Identifier"), std::string::npos);
  EXPECT_NE(sink.Text().find("a.txt:hidden"), std::string::npos);
  EXPECT_NE(sink.Text().find("ReadProcessMemory"), std::string::npos);

  VectorCursor noJob({});
  StringSink empty;
  WriteRun(SampleStart(), noJob, Settings(OutputFormat::Report, false, -1, true), empty);
  EXPECT_EQ(empty.Text(), "") << "no job ran: no titles, no report";
}

TEST(ConsoleRunOutput, NamesShowingALostCharacterAreNoticed) {
  for (OutputFormat format : {OutputFormat::Json, OutputFormat::Csv, OutputFormat::Report}) {
    VectorCursor lost({kTitles, {"", "", "C:\\caf? ?.txt:s", "no (1)", "", "0"}});
    StringSink sink;
    EXPECT_TRUE(WriteRun(SampleStart(), lost, Settings(format), sink).lostCharacters);
    VectorCursor whole({kTitles, {"", "", "\\\\?\\C:\\caf\xC3\xA9.txt:s", "no (1)", "", "0"}});
    EXPECT_FALSE(WriteRun(SampleStart(), whole, Settings(format), sink).lostCharacters);
  }
}

}  // namespace
}  // namespace tarvex::console
