// The console scanner driven as a script drives it: every target, the report,
// CSV and JSON output read back, every exit code, the self-test and Ctrl+C.
#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "console_child.h"
#include "csv_json.h"
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
  return "exit " + std::to_string(run.exitCode) + "\nstdout: " + run.out + "\nstderr: " + run.err;
}

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

// ---- usage errors, help and the missing engine -----------------------------

TEST(ConsoleUsage, HelpDocumentsTheExitCodes) {
  const ConsoleRun run = RunConsole({"--help"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  for (const char* text : {"Exit codes", "self-test", "--json", "4  cancelled"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(run.err, "");
}

TEST(ConsoleUsage, BadInputGivesOneLineAndExitCode3WithoutScanning) {
  ScratchFolder folder("console-usage");
  const std::string file = folder.Write("a.txt", MarkerText());
  const std::string log = folder.Path() + "\\amsi.log";
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}});
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--bogus", "drives"},
      {"scan-everything"},
      {"streams"},
      {"pid"},
      {"pid", "abc"},
      {"pid", "12x"},
      {"pid", "-1"},
      {"stdin"},
      {"--csv", "--json", "self-test"},
      {"streams", folder.Path() + "\\missing.txt"},
      {"folder", folder.Path() + "\\missing"},
      {"folder", file},
      {"content", folder.Path() + "\\missing.txt"},
      {"content", folder.Path()},
      {"--out", folder.Path() + "\\no\\such\\folder\\r.txt", "content", file},
  };
  for (const auto& arguments : cases) {
    std::string name;
    for (const auto& argument : arguments) name += argument + " ";
    const ConsoleRun run = RunConsole(arguments);
    ASSERT_TRUE(run.finished) << name;
    EXPECT_EQ(run.exitCode, 3u) << name << Diagnose(run);
    EXPECT_EQ(run.out, "") << name;
    ASSERT_GE(run.err.size(), 2u) << name;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << name << ": " << run.err;
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
    EXPECT_NE(run.err.find(
#ifdef _WIN64
                  "tarvex64.dll"
#else
                  "tarvex.dll"
#endif
                  ),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
  }
}

// ---- standard input: verdicts, formats, names ------------------------------

TEST(ConsoleStdin, VerdictsAndExitCodesInJson) {
  struct Case {
    std::string input;
    std::map<std::string, std::string> environment;
    std::vector<std::string> extra;
    DWORD exitCode;
    std::string isMalware;
    std::string outcome;
  };
  const Case cases[] = {
      {"plain text", {}, {}, 0, "no (1)", "clean"},
      {"plain text", {}, {"--findings-only"}, 0, " (1)", "clean"},
      {"x " + AntivirusTestString() + " y", {}, {}, 1, "yes (32768)", "detected"},
      {MarkerText(), {}, {"--findings-only"}, 1, "yes (16384)", "detected"},
      {"plain text",
       {{"TESTAMSI_FAIL_SCAN", "0x80070005"}},
       {},
       2,
       "not scanned (0)",
       "not scanned"},
      {"plain text",
       {{"TESTAMSI_FAIL_INIT", "0x80004005"}},
       {},
       2,
       "not scanned (0)",
       "not scanned"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment environment(c.environment);
    std::vector<std::string> arguments = {"--json", "stdin", "mail.eml"};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const ConsoleRun run = RunConsole(arguments, c.input);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.isMalware << Diagnose(run);
    const std::vector<json> objects = ReadJsonLines(run.out);
    ASSERT_EQ(objects.size(), 1u) << run.out;
    EXPECT_EQ(objects[0]["Scantarget"], "mail.eml");
    EXPECT_EQ(objects[0]["IsMalware"], c.isMalware);
    EXPECT_EQ(objects[0]["Outcome"], c.outcome);
    EXPECT_EQ(objects[0]["ProcessName"], "");
    EXPECT_EQ(run.err, "") << "no progress text when standard error is redirected";
  }
}

TEST(ConsoleStdin, CsvAndReportFormats) {
  const ConsoleRun csv = RunConsole({"stdin", "--csv", "a,\"b\".txt"}, MarkerText());
  ASSERT_TRUE(csv.finished);
  EXPECT_EQ(csv.exitCode, 1u) << Diagnose(csv);
  const auto rows = ReadCsv(csv.out);
  ASSERT_EQ(rows.size(), 2u) << csv.out;
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"ProcessName", "ProcessID", "Scantarget", "IsMalware",
                                      "Scannermessage", "ScannerErrornumber", "Outcome"}));
  EXPECT_EQ(rows[1][2], "a,\"b\".txt");
  EXPECT_EQ(rows[1][3], "yes (16384)");
  EXPECT_EQ(rows[1][5], "0");
  EXPECT_EQ(rows[1][6], "detected");

  const ConsoleRun report = RunConsole({"stdin", "note.txt"}, "clean content");
  ASSERT_TRUE(report.finished);
  EXPECT_EQ(report.exitCode, 0u);
  // The engine's report: header line, rule line, one entry line.
  std::vector<std::string> lines;
  std::istringstream stream(report.out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << report.out;
  EXPECT_EQ(lines[0].rfind("Prozessfilename   Process-ID   Scantarget", 0), 0u);
  EXPECT_EQ(lines[1].find_first_not_of('_'), lines[1].size() - 1);  // underscores, then CR
  EXPECT_NE(lines[2].find("note.txt"), std::string::npos);
  EXPECT_NE(lines[2].find("no (1)"), std::string::npos);
}

TEST(ConsoleStdin, AnsiNamesArriveAsUtf8InJson) {
  // "Grüße.txt" in code page 1252, the ANSI code page of the test prefix.
  const ConsoleRun run = RunConsole({"--json", "stdin",
                                     "Gr\xFC\xDF"
                                     "e.txt"},
                                    "text");
  ASSERT_TRUE(run.finished);
  const std::vector<json> objects = ReadJsonLines(run.out);
  ASSERT_EQ(objects.size(), 1u) << run.out;
  EXPECT_EQ(objects[0]["Scantarget"],
            "Gr\xC3\xBC\xC3\x9F"
            "e.txt");
}

TEST(ConsoleStdin, OutFileReceivesTheOutput) {
  ScratchFolder folder("console-out");
  const std::string out = folder.Write("results.json", "old content that is longer than the new");
  const ConsoleRun run = RunConsole({"stdin", "x", "--json", "--out", out}, MarkerText());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.out, "");
  const std::vector<json> objects = ReadJsonLines(ReadWholeFile(out));
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["Outcome"], "detected");
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
                        Case{stream, 1, "detected"}, Case{empty, 2, "not scanned"}}) {
    const ConsoleRun run = RunConsole({"content", c.path, "--json"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.path << Diagnose(run);
    const std::vector<json> objects = ReadJsonLines(run.out);
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
    EXPECT_EQ(ReadJsonLines(run.out).size(), 0u) << run.out;
  }
}

// ---- processes ---------------------------------------------------------------

TEST(ConsoleProcesses, ByIdByNameAndAll) {
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  const ConsoleRun byId = RunConsole({"pid", holder.PidText(), "--json"});
  ASSERT_TRUE(byId.finished);
  EXPECT_EQ(byId.exitCode, 1u) << Diagnose(byId);
  const std::vector<json> idEntries = ReadJsonLines(byId.out);
  ASSERT_FALSE(idEntries.empty());
  bool detected = false;
  for (const json& entry : idEntries) {
    EXPECT_EQ(entry["ProcessID"], holder.PidText());
    if (entry["Outcome"] == "detected") detected = true;
  }
  EXPECT_TRUE(detected);

  const ConsoleRun byName = RunConsole({"processes", MemoryHolder::kExecutableName, "--csv"});
  ASSERT_TRUE(byName.finished);
  EXPECT_EQ(byName.exitCode, 1u) << Diagnose(byName);
  const auto rows = ReadCsv(byName.out);
  ASSERT_GE(rows.size(), 2u);
  bool namedDetected = false;
  for (size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][1], holder.PidText());
    if (rows[i][6] == "detected") namedDetected = true;
  }
  EXPECT_TRUE(namedDetected);

  const ConsoleRun all = RunConsole({"processes", "--json", "--findings-only"});
  ASSERT_TRUE(all.finished);
  EXPECT_EQ(all.exitCode, 1u) << Diagnose(all);
  std::set<std::string> ids;
  for (const json& entry : ReadJsonLines(all.out)) ids.insert(entry["ProcessID"]);
  EXPECT_TRUE(ids.count(holder.PidText()));
  EXPECT_GE(ids.size(), 3u) << "the prefix's own processes are scanned too";
}

TEST(ConsoleProcesses, UnknownProcessIsNotScanned) {
  // Process ids are multiples of 4; this one names no process.
  const ConsoleRun run = RunConsole({"pid", "4294967291", "--json"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 2u) << Diagnose(run);
  const std::vector<json> objects = ReadJsonLines(run.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["Outcome"], "not scanned");
  EXPECT_EQ(objects[0]["Scannermessage"].get<std::string>().rfind("OpenProcess -> ", 0), 0u);
}

// ---- self-test ---------------------------------------------------------------

TEST(ConsoleSelfTest, ProviderDetectingFailingMissingOrBlind) {
  const std::string program = ProgramDirectory() + "\\" + ConsoleProgramName();
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
       program,
       0,
       "AMSI is usable: the antimalware product detected the test string.\r\n"},
      {"init fails", {{"TESTAMSI_FAIL_INIT", "0x80004005"}}, program, 2, "AmsiInitialize failed"},
      // AmsiScanBuffer works without a session.
      {"session fails",
       {{"TESTAMSI_FAIL_OPEN", "0x80004005"}},
       program,
       0,
       "without an AMSI session"},
      {"scan fails", {{"TESTAMSI_FAIL_SCAN", "0x80004005"}}, program, 2, "failed to scan"},
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
    ASSERT_TRUE(run.finished) << c.name;
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name << Diagnose(run);
    EXPECT_NE(run.out.find(c.text), std::string::npos) << c.name << Diagnose(run);
    EXPECT_NE(run.out.find("AMSI state after the job: "), std::string::npos) << c.name;
  }
}

// ---- Ctrl+C and Ctrl+Break ---------------------------------------------------

// Waits until the provider's call log has a scan line: the job is running.
bool WaitForScanInLog(const std::string& log, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < deadline) {
    if (ReadWholeFile(log).find("AmsiScanBuffer") != std::string::npos) return true;
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

// Starts a long job (every process, every scan slowed down), sends the event
// to the child's process group once the job runs, and checks that the program
// ends with exit code 4 after the engine has closed AMSI. Returns false when
// the system cannot send this event at all.
bool CancelLongJobWith(DWORD event, const std::string& log) {
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}, {"TESTAMSI_SCAN_DELAY_MS", "400"}});
  ConsoleChild child(ProgramDirectory() + "\\" + ConsoleProgramName(), {"processes", "--json"}, "",
                     CREATE_NEW_PROCESS_GROUP);
  EXPECT_TRUE(child.Started());
  EXPECT_TRUE(WaitForScanInLog(log, 30000)) << "the job did not start";
  const ULONGLONG sent = GetTickCount64();
  if (!GenerateConsoleCtrlEvent(event, child.ProcessId())) return false;
  EXPECT_TRUE(child.Finish(30000)) << "event " << event << " did not end the program";
  EXPECT_EQ(child.ExitCode(), 4u) << "event " << event << " stderr: " << child.Err();
  EXPECT_LT(GetTickCount64() - sent, 20000u);
  EXPECT_EQ(child.Out(), "") << "a cancelled job writes no results";
  EXPECT_NE(child.Err().find("cancelled"), std::string::npos) << child.Err();
  // The engine ended the job (and AMSI) before the program exited.
  const std::string calls = ReadWholeFile(log);
  EXPECT_NE(calls.find("AmsiUninitialize"), std::string::npos) << calls;
  return true;
}

TEST(ConsoleCancel, CtrlCCancelsTheJobAndExitsWith4) {
  ScratchFolder folder("console-cancel-c");
  UseConsoleWithWindow();
  EXPECT_TRUE(CancelLongJobWith(CTRL_C_EVENT, folder.Path() + "\\amsi.log"))
      << "GenerateConsoleCtrlEvent(CTRL_C_EVENT): " << GetLastError();
}

// Ctrl+C while the program still waits for standard input (the writer keeps
// its pipe open): the program ends at once with 4, and nothing reaches AMSI.
TEST(ConsoleCancel, CtrlCWhileReadingStandardInput) {
  ScratchFolder folder("console-cancel-stdin");
  UseConsoleWithWindow();
  const std::string log = folder.Path() + "\\amsi.log";
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}});
  ConsoleChild child(ProgramDirectory() + "\\" + ConsoleProgramName(), {"stdin", "x", "--json"},
                     "partial data", CREATE_NEW_PROCESS_GROUP, nullptr, true);
  ASSERT_TRUE(child.Started());
  Sleep(2000);  // started, handler installed, blocked in the read
  ASSERT_TRUE(child.Running());
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, child.ProcessId()));
  const ULONGLONG sent = GetTickCount64();
  while (child.Running() && GetTickCount64() - sent < 10000) Sleep(20);
  EXPECT_FALSE(child.Running()) << "the program waited for the end of its input";
  ASSERT_TRUE(child.Finish(10000));
  EXPECT_EQ(child.ExitCode(), 4u) << child.Err();
  EXPECT_EQ(child.Out(), "");
  EXPECT_EQ(ReadWholeFile(log).find("AmsiScanBuffer"), std::string::npos);
}

TEST(ConsoleCancel, CtrlBreakCancelsTheJobAndExitsWith4) {
  ScratchFolder folder("console-cancel-break");
  UseConsoleWithWindow();
  if (!CancelLongJobWith(CTRL_BREAK_EVENT, folder.Path() + "\\amsi.log")) {
    // Wine 8 delivers CTRL_C_EVENT only; Windows delivers both.
    GTEST_SKIP() << "this system cannot send CTRL_BREAK_EVENT";
  }
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
  ScopedEnvironment environment({{"TESTAMSI_LOG", log}, {"TESTAMSI_SCAN_DELAY_MS", "300"}});
  {
    ConsoleChild child(ProgramDirectory() + "\\" + ConsoleProgramName(), {"processes", "--json"},
                       "", CREATE_NEW_PROCESS_GROUP, console);
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(WaitForScanInLog(log, 30000));
    Sleep(1500);  // several refreshes
    const std::string row = CursorRow(console);
    EXPECT_NE(row.find(" entries  "), std::string::npos) << "'" << row << "'";
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, child.ProcessId()));
    ASSERT_TRUE(child.Finish(30000));
    EXPECT_EQ(child.ExitCode(), 4u);
  }
  const std::string after = CursorRow(console);
  EXPECT_EQ(after.find(" entries  "), std::string::npos) << "'" << after << "'";
}

// Run by the wine_console_german entry (LC_ALL=de_DE.UTF-8): the engine
// writes German words, which the exit codes and outcomes must understand.
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
      {"text", {{"TESTAMSI_FAIL_SCAN", "0x80070005"}}, 2, "nicht gescannt (0)", "not scanned"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment environment(c.environment);
    const ConsoleRun run = RunConsole({"--json", "stdin", "x"}, c.input);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << Diagnose(run);
    const std::vector<json> objects = ReadJsonLines(run.out);
    ASSERT_EQ(objects.size(), 1u) << run.out;
    EXPECT_EQ(objects[0]["IsMalware"], c.isMalware);
    EXPECT_EQ(objects[0]["Outcome"], c.outcome);
  }
  // The report keeps the engine's German titles, in code page 1252.
  const ConsoleRun report = RunConsole({"stdin", "x"}, "text");
  EXPECT_EQ(report.out.rfind("Processdateiname", 0), 0u) << report.out;
}

}  // namespace
}  // namespace tarvex_test
