// The console scanner driven as a script drives it: every target, the
// report, CSV and JSON Lines read back, every exit code, names outside the
// ANSI code page, long paths, write failures, the self-test and Ctrl+C.
// Arguments are handed over as UTF-8 (console_child.h); the program under
// test runs with the UTF-8 code page of its manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "console_child.h"
#include "csv_json.h"
#include "engine_api.h"
#include "file_text.h"
#include "process_fixture.h"
#include "program_folder.h"
#include "scoped_environment.h"
#include "test_content.h"
#include "win32_handles.h"

namespace tarvex_test {
namespace {

using nlohmann::json;

std::string Diagnose(const ConsoleRun& run) {
  if (run.startError != 0) return "not started, error " + std::to_string(run.startError);
  return "exit " + std::to_string(run.exitCode) + "\nstdout: " + run.out + "\nstderr: " + run.err;
}

std::string Program() { return ProgramDirectory() + "\\" + ConsoleProgramName(); }

// A scratch folder below the test's directory, removed with its files.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name) : path_(ProgramDirectory() + "\\" + name) {
    Remove();
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() { Remove(); }
  const std::string& Path() const { return path_; }
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string path = path_ + "\\" + name;
    WriteWholeFile(path, content);
    return path;
  }

 private:
  void Remove() {
    WIN32_FIND_DATAA data;
    const tarvex::UniqueFindHandle find(FindFirstFileA((path_ + "\\*").c_str(), &data));
    if (find) {
      do {
        DeleteFileA((path_ + "\\" + data.cFileName).c_str());
      } while (FindNextFileA(find.Get(), &data));
    }
    RemoveDirectoryA(path_.c_str());
  }
  std::string path_;
};

// ---- reading the output as a script does ------------------------------------

// The records of a JSON Lines run, checked for the shape every run has:
// run_start first, run_end last, object records between, LF line ends only.
std::vector<json> Records(const std::string& text) {
  EXPECT_EQ(text.find('\r'), std::string::npos) << "JSON Lines end in LF only";
  const std::vector<json> records = ReadJsonLines(text);
  EXPECT_GE(records.size(), 2u) << text;
  if (records.size() < 2) return records;
  EXPECT_EQ(records.front()["Record"], "run_start") << text;
  EXPECT_EQ(records.back()["Record"], "run_end") << text;
  for (size_t i = 1; i + 1 < records.size(); ++i) {
    const json& object = records[i];
    EXPECT_EQ(object["Record"], "object");
    EXPECT_TRUE(object["ProcessID"].is_null() || object["ProcessID"].is_number_integer());
    EXPECT_TRUE(object["AmsiResult"].is_null() || object["AmsiResult"].is_number_integer());
    EXPECT_TRUE(object["ScannerErrornumber"].is_number_integer()) << object;
    EXPECT_TRUE(object["Scantarget"].is_string() && object["IsMalware"].is_string());
    const std::string message = object["Scannermessage"];
    EXPECT_TRUE(message.empty() || (message.front() != ' ' && message.back() != ' ')) << message;
    const std::string outcome = object["Outcome"];
    EXPECT_TRUE(outcome == "detected" || outcome == "clean" || outcome == "not_scanned");
    EXPECT_EQ(object["AmsiResult"].is_null(), outcome == "not_scanned") << object;
  }
  const json& end = records.back();
  for (const char* count : {"Detected", "Clean", "NotScanned", "ExitCode"}) {
    EXPECT_TRUE(end[count].is_number_integer()) << count;
  }
  EXPECT_TRUE(end["Partial"].is_boolean());
  return records;
}

std::vector<json> Objects(const std::vector<json>& records) {
  std::vector<json> objects;
  for (const json& record : records) {
    if (record["Record"] == "object") objects.push_back(record);
  }
  return objects;
}

// A CSV table read by its header, as a spreadsheet or Import-Csv reads it.
struct CsvTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;  // without the header
  std::string Cell(size_t row, const std::string& column) const {
    const auto at = std::find(header.begin(), header.end(), column);
    return at == header.end() ? "<no column " + column + ">" : rows[row][at - header.begin()];
  }
  std::vector<size_t> RowsOf(const std::string& record) const {
    std::vector<size_t> found;
    for (size_t row = 0; row < rows.size(); ++row) {
      if (Cell(row, "Record") == record) found.push_back(row);
    }
    return found;
  }
};

CsvTable Csv(const std::string& text) {
  EXPECT_EQ(text.find('\r'), std::string::npos) << "CSV lines end in LF only";
  auto rows = ReadCsv(text);
  CsvTable table;
  if (rows.empty()) return table;
  table.header = rows.front();
  table.rows.assign(rows.begin() + 1, rows.end());
  for (const auto& row : table.rows) EXPECT_EQ(row.size(), table.header.size());
  return table;
}

std::vector<std::string> ReportLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// ---- files with names and paths this test's code page cannot hold -------------

std::wstring Wide(const std::string& utf8) { return WideFromUtf8(utf8); }

std::string ReadWholeFileW(const std::wstring& path) {
  const tarvex::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string text;
  char buffer[65536];
  DWORD read = 0;
  while (file && ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    text.append(buffer, read);
  }
  return text;
}

bool WriteWholeFileW(const std::wstring& path, const std::string& content) {
  const tarvex::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr) &&
         written == content.size();
}

// The folder names/ of the stage, made on the Linux side (tests/cmake/console.cmake).
std::string NamesFolder() { return ProgramDirectory() + "\\names"; }
const char kNonAnsiFile[] = "caf\xC3\xA9 \xD0\x96 \xE5\xA0\xB1\xE5\x91\x8A \xF0\x9F\x93\x84.txt";
const char kNonAnsiFolder[] =
    "\xD0\x9A\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB3 "
    "\xE5\xA0\xB1\xE5\x91\x8A \xF0\x9F\x93\x81";
const char kNonAnsiHolder[] = "holder-\xD0\x96\xE5\xA0\xB1\xF0\x9F\x93\x84.exe";

// ---- usage errors, help and the missing engine -----------------------------

TEST(ConsoleUsage, HelpNamesEachCommandsArgumentsOptionsAndExitCodes) {
  const ConsoleRun run = RunConsole({"--help"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  for (const char* text : {"Usage: OstrelleCmd", "pid PID [--name NAME]", "processes [NAME]",
                           "stdin NAME", "--only-findings", "--out FILE", "Exit codes",
                           "4  cancelled", "6  the output could not be written"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(run.err, "");
}

TEST(ConsoleUsage, VersionNamesTheProgram) {
  const ConsoleRun version = RunConsole({"--version"});
  ASSERT_TRUE(version.finished);
  EXPECT_EQ(version.exitCode, 0u);
  std::string name = ConsoleProgramName();
  name.resize(name.size() - 4);  // without ".exe"
  ASSERT_EQ(version.out.rfind(name + " ", 0), 0u) << version.out;
  ASSERT_EQ(version.out.back(), '\n');
  const std::string number =
      version.out.substr(name.size() + 1, version.out.size() - name.size() - 2);

  // The same version in the run record, next to the engine's own.
  const ConsoleRun run = RunConsole({"--json", "stdin", "x"}, "text");
  const std::vector<json> records = Records(run.out);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0]["Program"], ConsoleProgramName());
  EXPECT_EQ(records[0]["ProgramVersion"], number);
  EXPECT_EQ(records[0]["EngineVersion"], number) << "the engine's VERSIONINFO, same build";
}

TEST(ConsoleUsage, BadInputAndMissingTargetsGiveOneLineAndExitCode3WithoutScanning) {
  ScratchFolder folder("console-usage");
  const std::string file = folder.Write("a.txt", MarkerText());
  const std::string log = folder.Path() + "\\amsi.log";
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}});
  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // part of the one line on standard error
  };
  const Case cases[] = {
      {{}, "a command is required"},
      {{"--bogus", "drives"}, "--bogus"},
      {{"xyz"}, "unknown command 'xyz'"},
      {{"scan-everything"}, "unknown command 'scan-everything'"},
      {{"streams"}, "streams: "},
      {{"pid"}, "pid: "},
      {{"pid", "abc"}, "'abc' is not a process id"},
      {{"pid", "12x"}, "'12x' is not a process id"},
      {{"pid", "-1"}, "pid"},
      {{"stdin"}, "stdin: "},
      {{"--csv", "--json", "self-test"}, "excludes"},
      {{"streams", folder.Path() + "\\missing.txt"}, "missing.txt' does not exist"},
      {{"folder", folder.Path() + "\\missing"}, "missing' does not exist"},
      {{"folder", file}, "is not a folder"},
      {{"content", folder.Path() + "\\missing.txt"}, "missing.txt' does not exist"},
      {{"content", folder.Path() + "\\missing.txt:stream"}, "does not exist"},
      {{"content", folder.Path()}, "is a folder"},
      {{"processes", "nosuch.exe"}, "processes: no process named 'nosuch.exe' is running"},
      {{"--json", "pid", "999999"}, "pid: no process with the id 999999 is running"},
      {{"pid", "4294967291"}, "no process with the id 4294967291"},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const auto& argument : c.arguments) name += argument + " ";
    const ConsoleRun run = RunConsole(c.arguments);
    ASSERT_TRUE(run.finished) << name;
    EXPECT_EQ(run.exitCode, 3u) << name << Diagnose(run);
    EXPECT_EQ(run.out, "") << name;
    ASSERT_GE(run.err.size(), 2u) << name;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << name << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << name << ": " << run.err;
  }
  EXPECT_EQ(ReadWholeFile(log), "") << "nothing may reach AMSI on a usage error";
}

TEST(ConsoleUsage, MissingEngineIsExitCode3) {
  const std::string alone = ProgramDirectory() + "\\noengine\\" + ConsoleProgramName();
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"self-test"}, {"processes"}}) {
    const ConsoleRun run = RunConsole(arguments, "", alone);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 3u) << Diagnose(run);
    EXPECT_NE(run.err.find(TARVEX_ENGINE_FILE_NAME), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

// ---- standard input: verdicts, formats, the filter ---------------------------

TEST(ConsoleStdin, VerdictsOutcomesAndTypesInJson) {
  struct Case {
    std::string input;
    std::map<std::string, std::string> environment;
    std::vector<std::string> extra;
    DWORD exitCode;
    std::string isMalware;  // "" when the filter leaves the object out
    std::string outcome;
    json amsiResult;
  };
  const Case cases[] = {
      {"plain text", {}, {}, 0, "no (1)", "clean", 1},
      {"plain text", {}, {"--findings-only"}, 0, "", "clean", nullptr},
      {"plain text", {}, {"--only-findings"}, 0, "", "clean", nullptr},
      {"x " + AntivirusTestString() + " y", {}, {}, 1, "yes (32768)", "detected", 32768},
      {MarkerText(), {}, {"--findings-only"}, 1, "yes (16384)", "detected", 16384},
      {"plain text",
       {{"TESTAMSI_FAIL_SCAN", "0x80070005"}},
       {"--findings-only"},
       2,
       "not scanned (0)",
       "not_scanned",
       nullptr},
      {"plain text",
       {{"TESTAMSI_FAIL_INIT", "0x80004005"}},
       {},
       2,
       "not scanned (0)",
       "not_scanned",
       nullptr},
  };
  for (const Case& c : cases) {
    ScopedEnvironment environment(c.environment);
    std::vector<std::string> arguments = {"--json", "stdin", "mail.eml"};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const ConsoleRun run = RunConsole(arguments, c.input);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.isMalware << Diagnose(run);
    EXPECT_EQ(run.err, "") << "no progress text when standard error is redirected";
    const std::vector<json> records = Records(run.out);
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[0]["Command"], "stdin");
    EXPECT_EQ(records[0]["Target"], "mail.eml");
    EXPECT_EQ(records[0]["FindingsOnly"], !c.extra.empty());
    EXPECT_EQ(records[0]["SchemaVersion"], 1);
    const json& end = records.back();
    EXPECT_EQ(end["ExitCode"], c.exitCode);
    EXPECT_EQ(end["Partial"], false);
    EXPECT_EQ(end[c.outcome == "clean"      ? "Clean"
                  : c.outcome == "detected" ? "Detected"
                                            : "NotScanned"],
              1);
    const std::vector<json> objects = Objects(records);
    if (c.isMalware.empty()) {
      EXPECT_TRUE(objects.empty()) << "--findings-only writes no clean object";
      continue;
    }
    ASSERT_EQ(objects.size(), 1u) << run.out;
    EXPECT_EQ(objects[0]["Scantarget"], "mail.eml");
    EXPECT_EQ(objects[0]["IsMalware"], c.isMalware);
    EXPECT_EQ(objects[0]["Outcome"], c.outcome);
    EXPECT_EQ(objects[0]["AmsiResult"], c.amsiResult);
    EXPECT_TRUE(objects[0]["ProcessID"].is_null());
    EXPECT_EQ(objects[0]["ProcessName"], "");
  }
}

TEST(ConsoleStdin, CsvAndReportFormats) {
  const ConsoleRun csv = RunConsole({"stdin", "--csv", "a,\"b\".txt"}, MarkerText());
  ASSERT_TRUE(csv.finished);
  EXPECT_EQ(csv.exitCode, 1u) << Diagnose(csv);
  const CsvTable table = Csv(csv.out);
  ASSERT_EQ(table.rows.size(), 3u) << csv.out;
  EXPECT_EQ(table.header[0], "Record");
  EXPECT_EQ(table.RowsOf("run_start"), std::vector<size_t>{0});
  ASSERT_EQ(table.RowsOf("object"), std::vector<size_t>{1});
  EXPECT_EQ(table.Cell(1, "Scantarget"), "a,\"b\".txt");
  EXPECT_EQ(table.Cell(1, "IsMalware"), "yes (16384)");
  EXPECT_EQ(table.Cell(1, "AmsiResult"), "16384");
  EXPECT_EQ(table.Cell(1, "ScannerErrornumber"), "0");
  EXPECT_EQ(table.Cell(1, "Outcome"), "detected");
  EXPECT_EQ(table.Cell(1, "ProcessID"), "");
  EXPECT_EQ(table.Cell(2, "Record"), "run_end");
  EXPECT_EQ(table.Cell(2, "Detected"), "1");
  EXPECT_EQ(table.Cell(2, "ExitCode"), "1");
  EXPECT_EQ(table.Cell(2, "Partial"), "false");

  const ConsoleRun report = RunConsole({"stdin", "note.txt"}, "clean content");
  ASSERT_TRUE(report.finished);
  EXPECT_EQ(report.exitCode, 0u);
  // The engine's report: header line, rule line, one entry line, each ending in CR LF.
  const std::vector<std::string> lines = ReportLines(report.out);
  ASSERT_EQ(lines.size(), 3u) << report.out;
  EXPECT_EQ(report.out.size(), lines[0].size() + lines[1].size() + lines[2].size() + 6);
  EXPECT_EQ(lines[0].rfind("Prozessfilename   Process-ID   Scantarget", 0), 0u);
  EXPECT_EQ(lines[1], std::string(lines[0].size(), '_'));
  EXPECT_NE(lines[2].find("note.txt"), std::string::npos);
  EXPECT_NE(lines[2].find("no (1)"), std::string::npos);
}

// The report the program writes is the one the engine builds for the same job.
TEST(ConsoleStdin, TheReportIsTheEnginesOwn) {
  const std::string content = "clean content for the report";
  const ConsoleRun report = RunConsole({"stdin", "report-check.bin"}, content);
  ASSERT_TRUE(report.finished);
  EngineApi& engine = Engine();
  ASSERT_TRUE(engine.Complete());
  EXPECT_EQ(0, engine.TarvexBuffer2("report-check.bin", content.data(), content.size(), 0, "", ""));
  EXPECT_EQ(report.out, engine.Report());
}

TEST(ConsoleStdin, AnOutFileOverALongerOneKeepsNoTail) {
  ScratchFolder folder("console-out");
  const std::string oldText =
      "old content that is longer than the new output\n" + std::string(20000, 'o') + "\nold end\n";
  for (const char* format : {"--json", "--csv", "--report"}) {
    const std::string out = folder.Write("results.txt", oldText);
    std::vector<std::string> arguments = {"stdin", "x", "--out", out};
    if (std::string(format) != "--report") arguments.push_back(format);
    const ConsoleRun run = RunConsole(arguments, MarkerText());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1u) << Diagnose(run);
    EXPECT_EQ(run.out, "");
    const std::string written = ReadWholeFile(out);
    EXPECT_EQ(written.find("old"), std::string::npos) << format << ": " << written.substr(0, 400);
    if (std::string(format) == "--json") {
      EXPECT_EQ(Records(written).back()["Detected"], 1);
    } else if (std::string(format) == "--csv") {
      EXPECT_EQ(Csv(written).rows.size(), 3u);
    } else {
      // Byte for byte what the same run writes to standard output.
      EXPECT_EQ(written, RunConsole({"stdin", "x"}, MarkerText()).out);
    }
  }
}

// ---- names outside the ANSI code page ---------------------------------------

TEST(ConsoleNames, AnArgumentNameSurvivesInEveryForm) {
  const std::string path = NamesFolder() + "\\" + kNonAnsiFile;
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Wide(path).c_str()))
      << "names/ is made by the build (tests/cmake/console.cmake)";

  const ConsoleRun json = RunConsole({"content", path, "--json"});
  ASSERT_TRUE(json.finished);
  EXPECT_EQ(json.exitCode, 0u) << Diagnose(json);
  const std::vector<nlohmann::json> records = Records(json.out);
  ASSERT_EQ(records.size(), 3u) << json.out;
  EXPECT_EQ(records[0]["Target"], path);
  EXPECT_EQ(records[1]["Scantarget"], path);
  EXPECT_EQ(records[1]["Outcome"], "clean");

  const ConsoleRun csv = RunConsole({"content", path, "--csv"});
  EXPECT_EQ(csv.exitCode, 0u) << Diagnose(csv);
  const CsvTable table = Csv(csv.out);
  ASSERT_EQ(table.rows.size(), 3u);
  EXPECT_EQ(table.Cell(0, "Target"), path);
  EXPECT_EQ(table.Cell(1, "Scantarget"), path);

  const ConsoleRun report = RunConsole({"content", path});
  EXPECT_EQ(report.exitCode, 0u) << Diagnose(report);
  const std::vector<std::string> lines = ReportLines(report.out);
  ASSERT_EQ(lines.size(), 3u) << report.out;
  EXPECT_NE(lines[2].find(path + "   "), std::string::npos) << lines[2];
  EXPECT_EQ(report.err, "") << "no warning: the names are whole";
}

// Wine lists no named streams, so walks scan nothing here; what shows is that
// the pre-check finds the folder and file by their names and the run record
// carries them whole (exit 2, not 3).
TEST(ConsoleNames, WalksOfFoldersAndFilesWithSuchNames) {
  const std::string folder = NamesFolder() + "\\" + kNonAnsiFolder;
  const std::string file = folder +
                           "\\\xD0\xB4\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82 "
                           "\xF0\x9F\x93\x84.txt";
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"folder", folder, "--json"},
                                             {"streams", file, "--json"},
                                             {"streams", folder, "--json"}}) {
    const ConsoleRun run = RunConsole(arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2u) << arguments[0] << Diagnose(run);
    const std::vector<json> records = Records(run.out);
    ASSERT_EQ(records.size(), 2u) << run.out;
    EXPECT_EQ(records[0]["Target"], arguments[1]);
  }
}

// Names found by the program itself: the process snapshot and the image path
// of a process whose executable has such a name.
TEST(ConsoleNames, FoundProcessNamesSurvive) {
  MemoryHolder holder("", Wide(NamesFolder() + "\\" + kNonAnsiHolder));
  ASSERT_TRUE(holder.Ready());
  const std::string imagePath = NamesFolder() + "\\" + kNonAnsiHolder;

  const ConsoleRun run = RunConsole({"processes", kNonAnsiHolder, "--json", "--findings-only"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1u) << Diagnose(run);
  const std::vector<json> objects = Objects(Records(run.out));
  ASSERT_FALSE(objects.empty()) << run.out;
  for (const json& object : objects) {
    EXPECT_EQ(object["ProcessName"], imagePath);
    EXPECT_EQ(object["ProcessID"], holder.Pid());
  }

  const ConsoleRun csv = RunConsole({"pid", holder.PidText(), "--csv", "--only-findings"});
  EXPECT_EQ(csv.exitCode, 1u) << Diagnose(csv);
  const CsvTable table = Csv(csv.out);
  ASSERT_FALSE(table.RowsOf("object").empty());
  EXPECT_EQ(table.Cell(table.RowsOf("object")[0], "ProcessName"), imagePath);

  const ConsoleRun report = RunConsole({"pid", holder.PidText(), "--findings-only"});
  EXPECT_EQ(report.exitCode, 1u) << Diagnose(report);
  const std::vector<std::string> lines = ReportLines(report.out);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[2].rfind(imagePath + "   ", 0), 0u) << lines[2];
}

// The program as Windows before 10 version 1903 runs it (its manifest's UTF-8
// code page ignored): code page 1252. A character outside it becomes '?',
// never a look-alike; the target then does not exist, and the line says why;
// names found with such characters end the run with a warning.
TEST(ConsoleNames, WithoutTheUtf8CodePageLostCharactersAreSaid) {
  const std::string legacy = ProgramDirectory() + "\\legacycp\\" + ConsoleProgramName();
  const std::string path = NamesFolder() + "\\" + kNonAnsiFile;
  const ConsoleRun missing = RunConsole({"content", path, "--json"}, "", legacy);
  ASSERT_TRUE(missing.finished);
  EXPECT_EQ(missing.exitCode, 3u) << Diagnose(missing);
  EXPECT_EQ(missing.out, "");
  // The emoji is two UTF-16 units, each of which becomes '?'.
  EXPECT_NE(missing.err.find("content: '" + ProgramDirectory() +
                             "\\names\\caf\xE9 ? ?? ??.txt' names nothing: the argument holds "
                             "characters that this Windows's code page lacks"),
            std::string::npos)
      << missing.err;
  EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1) << "one line";

  MemoryHolder holder("", Wide(NamesFolder() + "\\" + kNonAnsiHolder));
  ASSERT_TRUE(holder.Ready());
  const ConsoleRun byName = RunConsole({"processes", kNonAnsiHolder}, "", legacy);
  EXPECT_EQ(byName.exitCode, 3u) << Diagnose(byName);
  EXPECT_NE(byName.err.find("processes: 'holder-????.exe' names nothing"), std::string::npos)
      << byName.err;

  const ConsoleRun found =
      RunConsole({"pid", holder.PidText(), "--json", "--findings-only"}, "", legacy);
  EXPECT_EQ(found.exitCode, 1u) << Diagnose(found);
  const std::vector<json> objects = Objects(Records(found.out));
  ASSERT_FALSE(objects.empty());
  EXPECT_EQ(objects[0]["ProcessName"], NamesFolder() + "\\holder-????.exe")
      << "the output is UTF-8, but the name was lost on the way";
  EXPECT_NE(found.err.find("warning: names with characters outside code page 1252 are written "
                           "with '?'"),
            std::string::npos)
      << found.err;

  const ConsoleRun whole = RunConsole({"pid", holder.PidText(), "--json"}, "");
  EXPECT_EQ(Objects(Records(whole.out))[0]["ProcessName"], NamesFolder() + "\\" + kNonAnsiHolder);
  EXPECT_EQ(whole.err, "");
}

// ---- long paths ----------------------------------------------------------------

// A file whose path is exactly 316 characters, in folders of 50-character names.
class LongPathFile {
 public:
  LongPathFile() {
    root_ = ProgramDirectory() + "\\long-path";
    std::string folder = root_;
    CreateDirectoryW(Wide("\\\\?\\" + folder).c_str(), nullptr);
    const std::string fileName = "marked.txt";
    while (folder.size() + 1 + 50 + 1 + fileName.size() < 316) {
      folder += "\\" + std::string(50, static_cast<char>('a' + folders_.size()));
      CreateDirectoryW(Wide("\\\\?\\" + folder).c_str(), nullptr);
      folders_.push_back(folder);
    }
    // The last folder's name fills the path up to 316 characters.
    folder += "\\" + std::string(316 - folder.size() - 2 - fileName.size(), 'z');
    CreateDirectoryW(Wide("\\\\?\\" + folder).c_str(), nullptr);
    folders_.push_back(folder);
    folder_ = folder;
    path_ = folder + "\\" + fileName;
    WriteWholeFileW(Wide("\\\\?\\" + path_), MarkerText());
  }
  ~LongPathFile() {
    DeleteFileW(Wide("\\\\?\\" + path_).c_str());
    DeleteFileW(Wide("\\\\?\\" + folder_ + "\\out.jsonl").c_str());
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
      RemoveDirectoryW(Wide("\\\\?\\" + *folder).c_str());
    }
    RemoveDirectoryW(Wide("\\\\?\\" + root_).c_str());
  }
  const std::string& Path() const { return path_; }
  const std::string& Folder() const { return folder_; }

 private:
  std::string root_, folder_, path_;
  std::vector<std::string> folders_;
};

TEST(ConsolePaths, A316CharacterPathAndItsExtendedFormAreScanned) {
  LongPathFile file;
  ASSERT_EQ(file.Path().size(), 316u);
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Wide("\\\\?\\" + file.Path()).c_str()));
  for (const std::string& path : {file.Path(), "\\\\?\\" + file.Path()}) {
    const ConsoleRun run = RunConsole({"content", path, "--json"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1u) << path << Diagnose(run);
    const std::vector<json> objects = Objects(Records(run.out));
    ASSERT_EQ(objects.size(), 1u) << run.out;
    EXPECT_EQ(objects[0]["Scantarget"], path);
    EXPECT_EQ(objects[0]["Outcome"], "detected");
  }
  for (const std::string& folder : {file.Folder(), "\\\\?\\" + file.Folder()}) {
    const ConsoleRun run = RunConsole({"folder", folder, "--json"});
    EXPECT_EQ(run.exitCode, 2u) << "walked, not refused" << Diagnose(run);
  }
  // --out into the long folder.
  const std::string out = file.Folder() + "\\out.jsonl";
  const ConsoleRun run = RunConsole({"content", file.Path(), "--json", "--out", out});
  EXPECT_EQ(run.exitCode, 1u) << Diagnose(run);
  EXPECT_EQ(Records(ReadWholeFileW(Wide("\\\\?\\" + out))).back()["Detected"], 1);
}

// ---- write failures ------------------------------------------------------------

// Standard output is a pipe whose reader is gone before the program starts.
ConsoleRun RunWithClosedOutput(const std::vector<std::string>& arguments,
                               const std::string& input) {
  ChildPipe pipe;
  EXPECT_TRUE(MakeChildPipe(true, &pipe));
  pipe.ours.Reset();  // nobody reads: every write fails
  ConsoleChild child(Program(), arguments, input, 0, nullptr, false, pipe.childs.Get());
  pipe.childs.Reset();
  ConsoleRun run;
  run.finished = child.Started() && child.Finish(120000);
  run.exitCode = child.ExitCode();
  run.err = child.Err();
  return run;
}

TEST(ConsoleWriteFailure, ADetectionWinsOverAFailedWriteWhichHasItsOwnCode) {
  struct Case {
    std::vector<std::string> arguments;
    std::string input;
    DWORD exitCode;
  };
  const Case cases[] = {
      {{"self-test"}, "", 1},  // detected, then the judgement could not be written
      {{"self-test", "--json"}, "", 1},
      {{"stdin", "x"}, MarkerText(), 1},
      {{"stdin", "x", "--csv"}, MarkerText(), 1},
      {{"stdin", "x"}, "clean", 6},
      {{"stdin", "x", "--json"}, "clean", 6},
  };
  for (const Case& c : cases) {
    const ConsoleRun run = RunWithClosedOutput(c.arguments, c.input);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[0] << Diagnose(run);
    EXPECT_NE(run.err.find("cannot write the results"), std::string::npos) << run.err;
  }
}

// --out on a file that is always full (a link to /dev/full made by the build).
TEST(ConsoleWriteFailure, AFullFile) {
  const std::string full = ProgramDirectory() + "\\devfull";
  if (!tarvex::UniqueFileHandle(CreateFileA(full.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr))) {
    GTEST_SKIP() << "no /dev/full on this system";
  }
  struct Case {
    std::vector<std::string> arguments;
    std::string input;
    DWORD exitCode;
  };
  const Case cases[] = {
      {{"self-test", "--out", full}, "", 1},
      {{"stdin", "x", "--json", "--out", full}, MarkerText(), 1},
      {{"stdin", "x", "--json", "--out", full}, "clean", 6},
  };
  for (const Case& c : cases) {
    const ConsoleRun run = RunConsole(c.arguments, c.input);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[0] << Diagnose(run);
    EXPECT_NE(run.err.find("cannot write the results to '" + full + "'"), std::string::npos)
        << run.err;
  }
}

// (A read-only file cannot stand in here: the tests run as root, whom Wine
// lets write it.)
TEST(ConsoleWriteFailure, AnOutFileThatCannotBeOpenedIsExitCode6BeforeScanning) {
  ScratchFolder folder("console-out-fails");
  const std::string log = folder.Path() + "\\amsi.log";
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}});
  for (const std::string& out : {folder.Path() + "\\no\\such\\folder\\r.txt", folder.Path()}) {
    const ConsoleRun run = RunConsole({"--out", out, "stdin", "x"}, MarkerText());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 6u) << out << Diagnose(run);
    EXPECT_NE(run.err.find("--out: cannot open '" + out + "'"), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadWholeFile(log).find("AmsiScanBuffer"), std::string::npos);
}

// ---- files and streams ------------------------------------------------------

TEST(ConsoleFiles, ContentOfFilesAndStreams) {
  ScratchFolder folder("console-files");
  const std::string clean = folder.Write("clean.txt", "nothing here");
  const std::string marked = folder.Write("marked.txt", std::string("x") + MarkerText());
  // Wine stores "file:stream" as a plain file of that name; its content reads back.
  const std::string stream = folder.Write("host.txt:hidden", AntivirusTestString());
  folder.Write("host.txt", "host");
  const std::string empty = folder.Write("empty.txt", "");
  struct Case {
    std::string path;
    DWORD exitCode;
    std::string outcome;
  };
  for (const Case& c : {Case{clean, 0, "clean"}, Case{marked, 1, "detected"},
                        Case{stream, 1, "detected"}, Case{empty, 2, "not_scanned"}}) {
    const ConsoleRun run = RunConsole({"content", c.path, "--json"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.path << Diagnose(run);
    const std::vector<json> objects = Objects(Records(run.out));
    ASSERT_EQ(objects.size(), 1u) << run.out;
    EXPECT_EQ(objects[0]["Scantarget"], c.path);
    EXPECT_EQ(objects[0]["Outcome"], c.outcome);
  }
}

// Stream enumeration reports nothing here (Wine has no stream query), so these
// jobs scan nothing: exit code 2, never 0.
TEST(ConsoleFiles, WalksThatScanNothingAreNotClean) {
  ScratchFolder folder("console-walk");
  const std::string file = folder.Write("a.txt", "text");
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"streams", file, "--json"},
                                             {"folder", folder.Path(), "--json"},
                                             {"drives", "--json"}}) {
    const ConsoleRun run = RunConsole(arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2u) << arguments[0] << Diagnose(run);
    const std::vector<json> records = Records(run.out);
    EXPECT_EQ(Objects(records).size(), 0u) << run.out;
    EXPECT_EQ(records.back()["ExitCode"], 2);
  }
}

// ---- processes ---------------------------------------------------------------

TEST(ConsoleProcesses, ByIdByNameAndAll) {
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  const ConsoleRun byId = RunConsole({"pid", holder.PidText(), "--json"});
  ASSERT_TRUE(byId.finished);
  EXPECT_EQ(byId.exitCode, 1u) << Diagnose(byId);
  const std::vector<json> idEntries = Objects(Records(byId.out));
  ASSERT_FALSE(idEntries.empty());
  bool detected = false;
  bool clean = false;
  for (const json& entry : idEntries) {
    EXPECT_EQ(entry["ProcessID"], holder.Pid());
    if (entry["Outcome"] == "detected") detected = true;
    if (entry["Outcome"] == "clean") clean = true;
  }
  EXPECT_TRUE(detected);
  EXPECT_TRUE(clean) << "without the filter clean regions are written";

  const ConsoleRun byName = RunConsole({"processes", MemoryHolder::kExecutableName, "--csv"});
  ASSERT_TRUE(byName.finished);
  EXPECT_EQ(byName.exitCode, 1u) << Diagnose(byName);
  const CsvTable table = Csv(byName.out);
  ASSERT_GE(table.RowsOf("object").size(), 1u);
  bool namedDetected = false;
  for (size_t row : table.RowsOf("object")) {
    EXPECT_EQ(table.Cell(row, "ProcessID"), holder.PidText());
    if (table.Cell(row, "Outcome") == "detected") namedDetected = true;
  }
  EXPECT_TRUE(namedDetected);

  const ConsoleRun all = RunConsole({"processes", "--json", "--findings-only"});
  ASSERT_TRUE(all.finished);
  EXPECT_EQ(all.exitCode, 1u) << Diagnose(all);
  const std::vector<json> records = Records(all.out);
  std::set<int64_t> detectedIds;
  for (const json& entry : Objects(records)) {
    EXPECT_NE(entry["Outcome"], "clean");
    if (entry["Outcome"] == "detected") detectedIds.insert(entry["ProcessID"].get<int64_t>());
  }
  EXPECT_TRUE(detectedIds.count(holder.Pid()));
  EXPECT_GT(records.back()["Clean"].get<int64_t>(), 0) << "the prefix's own processes, counted";
}

// --findings-only and its successor filter the output in every form; the
// counts still cover every object.
TEST(ConsoleProcesses, FindingsOnlyFiltersEveryForm) {
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  for (const char* option : {"--findings-only", "--only-findings"}) {
    const ConsoleRun json = RunConsole({"pid", holder.PidText(), "--json", option});
    EXPECT_EQ(json.exitCode, 1u) << Diagnose(json);
    const std::vector<nlohmann::json> records = Records(json.out);
    EXPECT_EQ(records.front()["FindingsOnly"], true);
    const std::vector<nlohmann::json> objects = Objects(records);
    ASSERT_FALSE(objects.empty());
    for (const auto& object : objects) EXPECT_NE(object["Outcome"], "clean") << option;
    EXPECT_GT(records.back()["Clean"].get<int64_t>(), 0);
    EXPECT_EQ(records.back()["Detected"].get<size_t>() + records.back()["NotScanned"].get<size_t>(),
              objects.size());

    const CsvTable csv = Csv(RunConsole({"pid", holder.PidText(), "--csv", option}).out);
    for (size_t row : csv.RowsOf("object")) EXPECT_NE(csv.Cell(row, "Outcome"), "clean");

    const std::vector<std::string> lines =
        ReportLines(RunConsole({"pid", holder.PidText(), option}).out);
    ASSERT_GE(lines.size(), 3u);
    for (size_t i = 2; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].find(" no (1) "), std::string::npos) << lines[i];
    }
  }
}

// ---- self-test ---------------------------------------------------------------

TEST(ConsoleSelfTest, ProviderDetectingFailingMissingOrBlind) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> environment;
    std::string program;
    DWORD exitCode;
    const char* text;
  };
  const Case cases[] = {
      {"detecting",
       {},
       Program(),
       0,
       "AMSI is usable: the antimalware product detected the test string.\r\n"},
      {"init fails", {{"TESTAMSI_FAIL_INIT", "0x80004005"}}, Program(), 2, "AmsiInitialize failed"},
      // AmsiScanBuffer works without a session.
      {"session fails",
       {{"TESTAMSI_FAIL_OPEN", "0x80004005"}},
       Program(),
       0,
       "without an AMSI session"},
      {"scan fails", {{"TESTAMSI_FAIL_SCAN", "0x80004005"}}, Program(), 2, "failed to scan"},
      // An amsi.dll without AmsiScanBuffer: the engine cannot bind AMSI, as
      // on a system without it.
      {"missing",
       {},
       ProgramDirectory() + "\\incompleteamsi\\" + ConsoleProgramName(),
       2,
       "AMSI is not available"},
      // Wine's own amsi.dll, found when none is beside the program, answers
      // "not detected" for everything.
      {"blind",
       {},
       ProgramDirectory() + "\\builtinamsi\\" + ConsoleProgramName(),
       5,
       "did not detect"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment environment(c.environment);
    const ConsoleRun run = RunConsole({"self-test"}, "", c.program);
    ASSERT_TRUE(run.finished) << c.name << Diagnose(run);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name << Diagnose(run);
    EXPECT_NE(run.out.find(c.text), std::string::npos) << c.name << Diagnose(run);
    EXPECT_NE(run.out.find("AMSI state after the job: "), std::string::npos) << c.name;

    // The same judgement as records.
    const ConsoleRun json = RunConsole({"self-test", "--json"}, "", c.program);
    ASSERT_TRUE(json.finished) << c.name << Diagnose(json);
    EXPECT_EQ(json.exitCode, c.exitCode) << c.name << Diagnose(json);
    const std::vector<nlohmann::json> records = Records(json.out);
    ASSERT_GE(records.size(), 2u) << c.name;
    EXPECT_EQ(records.front()["Command"], "self-test");
    EXPECT_EQ(records.back()["ExitCode"], c.exitCode) << c.name;
    EXPECT_EQ(Objects(records).size(), 1u) << c.name;
  }
}

// ---- Ctrl+C and Ctrl+Break ---------------------------------------------------

// Waits until the provider's call log holds the text: a state of the job.
bool WaitForLog(const std::string& log, const std::string& text, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < deadline) {
    if (ReadWholeFile(log).find(text) != std::string::npos) return true;
    Sleep(50);
  }
  return false;
}

// Console control events reach the processes of the sender's console only.
// A test started with a console that has no window (Wine without a terminal)
// cannot send them, so it makes a console of its own, which the child then
// shares; the test itself ignores the events.
BOOL WINAPI IgnoreControlEvent(DWORD) { return TRUE; }

void UseConsoleWithWindow() {
  if (GetConsoleWindow() == nullptr) {
    FreeConsole();
    AllocConsole();
  }
  SetConsoleCtrlHandler(&IgnoreControlEvent, TRUE);
}

struct CancelledRun {
  bool sent = false;  // false: this system cannot send the event
  bool finished = false;
  DWORD exitCode = 0;
  std::string out, err, calls;
};

// Starts a job whose scans the provider holds, as holdAfter says (the
// provider's TESTAMSI_HOLD_UNTIL_CANCEL), until the job is cancelled; waits
// until a scan is held, sends the event to the child's process group and
// collects the run. The job cannot end before the cancel has reached it.
CancelledRun CancelAtAHeldScan(DWORD event, const std::vector<std::string>& arguments,
                               const std::string& log, const std::string& holdAfter) {
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}, {"TESTAMSI_HOLD_UNTIL_CANCEL", holdAfter}});
  ConsoleChild child(Program(), arguments, "", CREATE_NEW_PROCESS_GROUP);
  CancelledRun run;
  EXPECT_TRUE(child.Started());
  EXPECT_TRUE(WaitForLog(log, "AmsiScanBuffer-held", 60000)) << "no scan was held";
  run.sent = GenerateConsoleCtrlEvent(event, child.ProcessId()) != FALSE;
  if (!run.sent) return run;
  run.finished = child.Finish(60000);
  run.exitCode = child.ExitCode();
  run.out = child.Out();
  run.err = child.Err();
  run.calls = ReadWholeFile(log);
  return run;
}

// A clean process (the prefix's service control manager) scanned region by
// region, cancelled at its second scan: what was found so far is
// written, marked partial, and the engine has ended the job (and AMSI)
// before the program exits.
void ExpectPartialCleanRun(const CancelledRun& run) {
  EXPECT_TRUE(run.finished) << "the event did not end the program";
  EXPECT_EQ(run.exitCode, 4u) << run.err;
  const std::vector<json> records = Records(run.out);
  ASSERT_GE(records.size(), 3u) << "the answered scan is written: " << run.out;
  const json& end = records.back();
  EXPECT_EQ(end["Partial"], true);
  EXPECT_EQ(end["ExitCode"], 4);
  EXPECT_EQ(end["Detected"], 0);
  EXPECT_EQ(end["Clean"].get<size_t>() + end["NotScanned"].get<size_t>(), records.size() - 2);
  EXPECT_NE(run.err.find("cancelled"), std::string::npos) << run.err;
  EXPECT_NE(run.calls.find("AmsiUninitialize"), std::string::npos) << run.calls;
}

TEST(ConsoleCancel, CtrlCWritesWhatWasFoundMarkedPartial) {
  ScratchFolder folder("console-cancel-c");
  UseConsoleWithWindow();
  const CancelledRun run = CancelAtAHeldScan(CTRL_C_EVENT, {"processes", "services.exe", "--json"},
                                             folder.Path() + "\\amsi.log", "1");
  ASSERT_TRUE(run.sent) << "GenerateConsoleCtrlEvent(CTRL_C_EVENT): " << GetLastError();
  ExpectPartialCleanRun(run);
}

TEST(ConsoleCancel, CtrlBreakWritesWhatWasFoundMarkedPartial) {
  ScratchFolder folder("console-cancel-break");
  UseConsoleWithWindow();
  const CancelledRun run = CancelAtAHeldScan(
      CTRL_BREAK_EVENT, {"processes", "services.exe", "--json"}, folder.Path() + "\\amsi.log", "1");
  // Wine 8 delivers CTRL_C_EVENT only; Windows delivers both.
  if (!run.sent) GTEST_SKIP() << "this system cannot send CTRL_BREAK_EVENT";
  ExpectPartialCleanRun(run);
}

// Ctrl+C while the program still waits for standard input (the writer keeps
// its pipe open): the program ends at once with 4, its records say that
// nothing was scanned, and nothing reaches AMSI.
TEST(ConsoleCancel, CtrlCWhileReadingStandardInput) {
  ScratchFolder folder("console-cancel-stdin");
  UseConsoleWithWindow();
  const std::string log = folder.Path() + "\\amsi.log";
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}});
  ConsoleChild child(Program(), {"stdin", "x", "--json"}, "partial data", CREATE_NEW_PROCESS_GROUP,
                     nullptr, true);
  ASSERT_TRUE(child.Started());
  // run_start is written once the cancel handler is in place, before the read.
  ASSERT_TRUE(child.WaitForOutput("\"run_start\"", 60000));
  ASSERT_TRUE(child.Running());
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, child.ProcessId()));
  ASSERT_TRUE(child.WaitForOutput("\"run_end\"", 30000)) << "the program waited for its input";
  ASSERT_TRUE(child.Finish(30000));
  EXPECT_EQ(child.ExitCode(), 4u) << child.Err();
  const std::vector<json> records = Records(child.Out());
  ASSERT_EQ(records.size(), 2u) << child.Out();
  EXPECT_EQ(records.back()["Partial"], true);
  EXPECT_EQ(records.back()["ExitCode"], 4);
  EXPECT_EQ(ReadWholeFile(log).find("AmsiScanBuffer"), std::string::npos);
}

// Text of the console row the cursor is on.
std::string CursorRow(HANDLE console) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(console, &info)) return std::string();
  std::string row(static_cast<size_t>(info.dwSize.X), ' ');
  DWORD read = 0;
  ReadConsoleOutputCharacterA(console, &row[0], static_cast<DWORD>(row.size()),
                              COORD{0, info.dwCursorPosition.Y}, &read);
  row.resize(read);
  return row;
}

TEST(ConsoleProgress, ShownOnAConsoleAndClearedAtTheEnd) {
  ScratchFolder folder("console-progress");
  UseConsoleWithWindow();
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const tarvex::UniqueFileHandle consoleOutput(
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inheritable, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(consoleOutput.Valid());
  const HANDLE console = consoleOutput.Get();
  const std::string log = folder.Path() + "\\amsi.log";
  // The job is held at its second scan until the Ctrl+C below.
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}, {"TESTAMSI_HOLD_UNTIL_CANCEL", "1"}});
  {
    ConsoleChild child(Program(), {"processes", "services.exe", "--json"}, "",
                       CREATE_NEW_PROCESS_GROUP, console);
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(WaitForLog(log, "AmsiScanBuffer-held", 60000));
    // The line shows once the program's next refresh has come.
    std::string row;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while ((row = CursorRow(console)).find(" entries  ") == std::string::npos &&
           row.find(" entry  ") == std::string::npos && GetTickCount64() < deadline) {
      Sleep(50);
    }
    EXPECT_NE(row.find(" entr"), std::string::npos) << "'" << row << "'";
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, child.ProcessId()));
    ASSERT_TRUE(child.Finish(30000));
    EXPECT_EQ(child.ExitCode(), 4u);
  }
  const std::string after = CursorRow(console);
  EXPECT_EQ(after.find(" entries  "), std::string::npos) << "'" << after << "'";
}

// ---- real output for the fleet recipes -----------------------------------------
// Run by the wine_console_samples entry: JSON Lines of real runs, left in
// samples/ for the fleet tests (tests/fleet), which check them against
// docs/output.md and feed them to the recipes.

std::string SamplesFolder() {
  const std::string folder = ProgramDirectory() + "\\samples";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

// Runs the program with --json --out samples/<name> and returns the records.
std::vector<json> WriteSample(const std::string& name, std::vector<std::string> arguments,
                              DWORD exitCode, const std::string& input = std::string()) {
  const std::string out = SamplesFolder() + "\\" + name;
  DeleteFileA(out.c_str());
  arguments.insert(arguments.end(), {"--json", "--out", out});
  const ConsoleRun run = RunConsole(arguments, input);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, exitCode) << name << Diagnose(run);
  const std::vector<json> records = Records(ReadWholeFile(out));
  EXPECT_EQ(records.back()["ExitCode"], exitCode) << name;
  return records;
}

TEST(ConsoleSamples, CompleteRuns) {
  ScratchFolder folder("console-samples-input");
  const std::string clean = folder.Write("clean.txt", "nothing to find here");
  WriteSample("clean.jsonl", {"content", clean}, 0);
  WriteSample("names.jsonl", {"content", NamesFolder() + "\\" + kNonAnsiFile}, 0);
  {
    ScopedEnvironment failing(
        std::map<std::string, std::string>{{"TESTAMSI_FAIL_SCAN", "0x80070005"}});
    WriteSample("not-scanned.jsonl", {"stdin", "attachment.bin"}, 2, "data");
  }
  WriteSample("nothing-scanned.jsonl", {"folder", NamesFolder()}, 2);
  MemoryHolder holder("", Wide(NamesFolder() + "\\" + kNonAnsiHolder));
  ASSERT_TRUE(holder.Ready());
  const std::vector<json> detected = WriteSample("detected.jsonl", {"pid", holder.PidText()}, 1);
  EXPECT_GT(detected.back()["Clean"].get<int64_t>(), 0);
  EXPECT_GT(detected.back()["Detected"].get<int64_t>(), 0);
  const std::vector<json> findings =
      WriteSample("findings-only.jsonl", {"processes", kNonAnsiHolder, "--only-findings"}, 1);
  EXPECT_EQ(findings.front()["FindingsOnly"], true);
}

// A scan of two processes that hold the antivirus test string, cancelled at
// the scan after the first detection: the second process is still to come,
// so the run is cut short after its finding.
TEST(ConsoleSamples, CancelledAfterADetection) {
  ScratchFolder folder("console-samples-cancel");
  UseConsoleWithWindow();
  MemoryHolder first, second;
  ASSERT_TRUE(first.Ready() && second.Ready());
  const std::string out = SamplesFolder() + "\\partial.jsonl";
  const CancelledRun run = CancelAtAHeldScan(
      CTRL_C_EVENT,
      {"processes", MemoryHolder::kExecutableName, "--findings-only", "--json", "--out", out},
      folder.Path() + "\\amsi.log", "detection");
  ASSERT_TRUE(run.sent);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1u) << "the detection wins over the cancel: " << run.err;
  const std::vector<json> records = Records(ReadWholeFile(out));
  ASSERT_GE(records.size(), 3u);
  EXPECT_EQ(records.back()["Partial"], true);
  EXPECT_EQ(records.back()["ExitCode"], 1);
  EXPECT_GE(records.back()["Detected"].get<int64_t>(), 1);
  for (const json& object : Objects(records)) EXPECT_NE(object["Outcome"], "clean");
}

TEST(ConsoleSamples, CancelledCleanRun) {
  ScratchFolder folder("console-samples-cancel-clean");
  UseConsoleWithWindow();
  const std::string out = SamplesFolder() + "\\cancelled.jsonl";
  CancelledRun run =
      CancelAtAHeldScan(CTRL_C_EVENT, {"processes", "services.exe", "--json", "--out", out},
                        folder.Path() + "\\amsi.log", "1");
  ASSERT_TRUE(run.sent);
  run.out = ReadWholeFile(out);
  ExpectPartialCleanRun(run);
}

// ---- German -------------------------------------------------------------------------
// Run by the wine_console_german entry (LC_ALL=de_DE.UTF-8): the engine
// writes German words, which the exit codes and outcomes must understand,
// and its German texts reach the UTF-8 output whole.
TEST(ConsoleGerman, GermanVerdictWordsGiveTheSameExitCodes) {
  ASSERT_STREQ("1", getenv("TARVEX_EXPECT_GERMAN")) << "run with LC_ALL=de_DE.UTF-8";
  struct Case {
    std::string input;
    std::map<std::string, std::string> environment;
    DWORD exitCode;
    std::string isMalware;
    std::string outcome;
  };
  const Case cases[] = {
      {"text", {}, 0, "nein (1)", "clean"},
      {MarkerText(), {}, 1, "ja (16384)", "detected"},
      {"text", {{"TESTAMSI_FAIL_SCAN", "0x80070005"}}, 2, "nicht gescannt (0)", "not_scanned"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment environment(c.environment);
    const ConsoleRun run = RunConsole({"--json", "stdin", "x"}, c.input);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << Diagnose(run);
    const std::vector<json> objects = Objects(Records(run.out));
    ASSERT_EQ(objects.size(), 1u) << run.out;
    EXPECT_EQ(objects[0]["IsMalware"], c.isMalware);
    EXPECT_EQ(objects[0]["Outcome"], c.outcome);
  }
  // The report keeps the engine's German titles.
  const ConsoleRun report = RunConsole({"stdin", "x"}, "text");
  EXPECT_EQ(report.out.rfind("Processdateiname", 0), 0u) << report.out;
  WriteSample("german.jsonl",
              {"stdin",
               "Gr\xC3\xBC\xC3\x9F"
               "e.txt"},
              1, MarkerText());
}

// The engine's German text with an umlaut, made for the console program's
// UTF-8 code page at the engine's load: UTF-8 in JSON and in the report.
TEST(ConsoleGerman, TheEnginesUmlautArrivesAsUtf8) {
  ASSERT_STREQ("1", getenv("TARVEX_EXPECT_GERMAN")) << "run with LC_ALL=de_DE.UTF-8";
  const std::string withoutAmsi = ProgramDirectory() + "\\incompleteamsi\\" + ConsoleProgramName();
  const std::string notSupported = "Scan wird auf diesem System nicht unterst\xC3\xBCtzt! (0)";
  const ConsoleRun json = RunConsole({"--json", "stdin", "x"}, "text", withoutAmsi);
  EXPECT_EQ(json.exitCode, 2u) << Diagnose(json);
  const std::vector<nlohmann::json> objects = Objects(Records(json.out));
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["IsMalware"], notSupported);
  EXPECT_EQ(objects[0]["Outcome"], "not_scanned");
  const ConsoleRun report = RunConsole({"stdin", "x"}, "text", withoutAmsi);
  EXPECT_NE(report.out.find(notSupported), std::string::npos) << report.out;
}

}  // namespace
}  // namespace tarvex_test
