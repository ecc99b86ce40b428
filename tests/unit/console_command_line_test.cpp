// Command line of the console scanner: targets, output options, usage errors.
#include <gtest/gtest.h>

#include <map>

#include "console_command_line.h"

namespace tarvex::console {
namespace {

ParsedCommandLine Parse(std::vector<std::string> arguments) {
  return ParseCommandLine(arguments, "OstrelleCmd64", "9.8.7");
}

TEST(ConsoleCommandLine, EachCommandSelectsItsTarget) {
  struct Case {
    std::vector<std::string> arguments;
    ScanTarget target;
    std::string path;
  };
  const Case cases[] = {
      {{"streams", "C:\\a.txt"}, ScanTarget::FileStreams, "C:\\a.txt"},
      {{"folder", "C:\\data"}, ScanTarget::FolderTree, "C:\\data"},
      {{"drives"}, ScanTarget::AllDrives, ""},
      {{"content", "C:\\a.txt:hidden"}, ScanTarget::Content, "C:\\a.txt:hidden"},
      {{"processes"}, ScanTarget::AllProcesses, ""},
      {{"processes", "notepad.exe"}, ScanTarget::ProcessesByName, "notepad.exe"},
      {{"stdin", "mail.eml"}, ScanTarget::StandardInput, "mail.eml"},
      {{"self-test"}, ScanTarget::SelfTest, ""},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = Parse(c.arguments);
    ASSERT_TRUE(parsed.run) << c.arguments[0] << ": " << parsed.error;
    EXPECT_EQ(parsed.options.target, c.target) << c.arguments[0];
    EXPECT_EQ(parsed.options.path, c.path) << c.arguments[0];
    EXPECT_EQ(parsed.options.format, OutputFormat::Report);
    EXPECT_FALSE(parsed.options.findingsOnly);
    EXPECT_TRUE(parsed.options.outPath.empty());
  }
}

TEST(ConsoleCommandLine, ProcessIdWithOptionalName) {
  ParsedCommandLine parsed = Parse({"pid", "4242", "--name", "svc.exe"});
  ASSERT_TRUE(parsed.run) << parsed.error;
  EXPECT_EQ(parsed.options.target, ScanTarget::ProcessById);
  EXPECT_EQ(parsed.options.processId, 4242u);
  EXPECT_EQ(parsed.options.processName, "svc.exe");

  parsed = Parse({"pid", "4294967295"});
  ASSERT_TRUE(parsed.run) << parsed.error;
  EXPECT_EQ(parsed.options.processId, 4294967295u);
  EXPECT_EQ(parsed.options.processName, "");
}

TEST(ConsoleCommandLine, OutputOptionsBeforeOrAfterTheCommand) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--json", "--findings-only", "--out", "r.json", "folder", "C:\\x"},
           {"folder", "C:\\x", "--json", "--findings-only", "--out", "r.json"},
           {"--out=r.json", "folder", "--findings-only", "C:\\x", "--json"},
           {"folder", "C:\\x", "--only-findings", "--json", "--out", "r.json"}}) {
    const ParsedCommandLine parsed = Parse(arguments);
    ASSERT_TRUE(parsed.run) << parsed.error;
    EXPECT_EQ(parsed.options.format, OutputFormat::Json);
    EXPECT_TRUE(parsed.options.findingsOnly);
    EXPECT_EQ(parsed.options.outPath, "r.json");
    EXPECT_EQ(parsed.options.path, "C:\\x");
  }
  const ParsedCommandLine csv = Parse({"--csv", "drives"});
  ASSERT_TRUE(csv.run);
  EXPECT_EQ(csv.options.format, OutputFormat::Csv);
}

// Every usage error: no scan, exit code 3, exactly one line naming the problem.
TEST(ConsoleCommandLine, UsageErrorsGiveOneLineAndExitCode3) {
  const std::map<std::string, std::vector<std::string>> cases = {
      {"no command", {}},
      {"unknown option", {"--fast", "drives"}},
      {"unknown command", {"memory"}},
      {"missing path", {"streams"}},
      {"missing folder", {"folder"}},
      {"missing pid", {"pid"}},
      {"pid text", {"pid", "abc"}},
      {"pid negative", {"pid", "-5"}},
      {"pid hex", {"pid", "0x10"}},
      {"pid too large", {"pid", "4294967296"}},
      {"pid with blank", {"pid", "12 "}},
      {"missing content name", {"stdin"}},
      {"two commands", {"drives", "processes"}},
      {"csv and json", {"--csv", "--json", "drives"}},
      {"out without file", {"drives", "--out"}},
      {"extra argument", {"drives", "C:\\"}},
  };
  for (const auto& [name, arguments] : cases) {
    const ParsedCommandLine parsed = Parse(arguments);
    EXPECT_FALSE(parsed.run) << name;
    EXPECT_EQ(parsed.exitCode, kExitUsage) << name;
    EXPECT_TRUE(parsed.output.empty()) << name;
    ASSERT_FALSE(parsed.error.empty()) << name;
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << name << ": " << parsed.error;
    EXPECT_EQ(parsed.error.rfind("OstrelleCmd64: ", 0), 0u) << name << ": " << parsed.error;
  }
}

TEST(ConsoleCommandLine, AMissingOrUnknownCommandIsNamedAsSuch) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  };
  const Case cases[] = {
      {{"xyz"},
       "OstrelleCmd64: unknown command 'xyz'; commands: streams, folder, drives, "
       "content, processes, pid, stdin, self-test"},
      {{"--json", "--out", "self-test", "scan"}, "unknown command 'scan'"},
      {{"--json", "Streams", "C:\\"}, "unknown command 'Streams'"},
      {{}, "OstrelleCmd64: a command is required; commands: streams,"},
      {{"--json", "--out", "r.json"}, "a command is required"},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = Parse(c.arguments);
    EXPECT_FALSE(parsed.run);
    EXPECT_EQ(parsed.exitCode, kExitUsage);
    EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
  }
}

TEST(ConsoleCommandLine, ErrorsNameTheCommand) {
  EXPECT_NE(Parse({"streams"}).error.find("OstrelleCmd64: streams: "), std::string::npos)
      << Parse({"streams"}).error;
  EXPECT_NE(Parse({"folder", "a", "b"}).error.find("OstrelleCmd64: folder: "), std::string::npos)
      << Parse({"folder", "a", "b"}).error;
}

TEST(ConsoleCommandLine, PidErrorQuotesTheText) {
  const ParsedCommandLine parsed = Parse({"pid", "12a"});
  EXPECT_NE(parsed.error.find("'12a' is not a process id"), std::string::npos) << parsed.error;
}

TEST(ConsoleCommandLine, HelpListsCommandsAndExitCodes) {
  const ParsedCommandLine parsed = Parse({"--help"});
  EXPECT_FALSE(parsed.run);
  EXPECT_EQ(parsed.exitCode, kExitClean);
  EXPECT_TRUE(parsed.error.empty());
  // Each command with its arguments and options, every output option, every exit code.
  for (const char* text : {"Usage: OstrelleCmd64 COMMAND",
                           "  streams PATH ",
                           "  folder FOLDER ",
                           "  drives ",
                           "  content PATH ",
                           "  processes [NAME] ",
                           "  pid PID [--name NAME] ",
                           "  stdin NAME ",
                           "  self-test ",
                           "--csv",
                           "--json",
                           "--out FILE",
                           "--findings-only, --only-findings",
                           "--version",
                           "Exit codes:\n",
                           "  0  complete",
                           "  1  something was detected",
                           "  2  complete: nothing was detected",
                           "  3  usage error, a target that does not exist",
                           "  4  cancelled",
                           "  5  self-test only",
                           "  6  the output could not be written"}) {
    EXPECT_NE(parsed.output.find(text), std::string::npos) << text;
  }
  for (size_t end = 0, start = 0; (end = parsed.output.find('\n', start)) != std::string::npos;
       start = end + 1) {
    EXPECT_LE(end - start, 79u) << parsed.output.substr(start, end - start);
  }
}

TEST(ConsoleCommandLine, CommandHelpAndVersion) {
  const ParsedCommandLine help = Parse({"pid", "--help"});
  EXPECT_EQ(help.exitCode, kExitClean);
  EXPECT_NE(help.output.find("--name"), std::string::npos) << help.output;

  const ParsedCommandLine version = Parse({"--version"});
  EXPECT_FALSE(version.run);
  EXPECT_EQ(version.exitCode, kExitClean);
  EXPECT_EQ(version.output, "OstrelleCmd64 9.8.7\n");
}

TEST(ConsoleCommandLine, ParseProcessIdIsStrictDecimal) {
  uint32_t id = 7;
  EXPECT_TRUE(ParseProcessId("0", &id));
  EXPECT_EQ(id, 0u);
  EXPECT_TRUE(ParseProcessId("0000000012", &id));
  EXPECT_EQ(id, 12u);
  for (const char* bad : {"", "+1", "1e3", "00000000012", "99999999999", "１"}) {
    id = 7;
    EXPECT_FALSE(ParseProcessId(bad, &id)) << bad;
    EXPECT_EQ(id, 7u) << bad;
  }
}

TargetProbes TableProbes() {
  static const std::map<std::string, PathKind> disk = {{"C:\\f.txt", PathKind::File},
                                                       {"C:\\dir", PathKind::Folder},
                                                       {"C:\\locked", PathKind::Unknown},
                                                       {"\\\\?\\C:\\long", PathKind::Unknown}};
  TargetProbes probes;
  probes.path = [](const std::string& path) {
    const auto found = disk.find(path);
    return found == disk.end() ? PathKind::Missing : found->second;
  };
  probes.processNamed = [](const std::string& name) {
    if (name == "notepad.exe") return Presence::Present;
    return name == "unlistable.exe" ? Presence::Unknown : Presence::Absent;
  };
  probes.processWithId = [](uint32_t id) {
    if (id == 4) return Presence::Present;
    return id == 8 ? Presence::Unknown : Presence::Absent;
  };
  return probes;
}

TEST(ConsoleCheckTargets, MissingTargetsAreRefusedAndUncheckableOnesGoToTheEngine) {
  struct Case {
    ScanTarget target;
    std::string path;
    uint32_t processId;
    std::string error;  // the whole error line, "" for none
  };
  const Case cases[] = {
      {ScanTarget::FileStreams, "C:\\f.txt", 0, ""},
      {ScanTarget::FileStreams, "C:\\dir", 0, ""},
      {ScanTarget::FileStreams, "C:\\gone.txt", 0, "streams: 'C:\\gone.txt' does not exist"},
      {ScanTarget::FileStreams, "C:\\locked", 0, ""},
      {ScanTarget::FolderTree, "C:\\dir", 0, ""},
      {ScanTarget::FolderTree, "C:\\f.txt", 0, "folder: 'C:\\f.txt' is not a folder"},
      {ScanTarget::FolderTree, "C:\\nothing", 0, "folder: 'C:\\nothing' does not exist"},
      {ScanTarget::FolderTree, "C:\\locked", 0, ""},
      {ScanTarget::FolderTree, "\\\\?\\C:\\long", 0, ""},
      {ScanTarget::FolderTree, "", 0, "folder: the path is empty"},
      {ScanTarget::Content, "C:\\f.txt", 0, ""},
      {ScanTarget::Content, "C:\\dir", 0,
       "content: 'C:\\dir' is a folder (use 'streams' or 'folder' for its streams)"},
      {ScanTarget::Content, "C:\\none:s", 0, "content: 'C:\\none:s' does not exist"},
      {ScanTarget::Content, "C:\\locked", 0, ""},
      {ScanTarget::StandardInput, "", 0, "stdin: the content name is empty"},
      {ScanTarget::StandardInput, "x", 0, ""},
      {ScanTarget::ProcessesByName, "notepad.exe", 0, ""},
      {ScanTarget::ProcessesByName, "nosuch.exe", 0,
       "processes: no process named 'nosuch.exe' is running"},
      {ScanTarget::ProcessesByName, "unlistable.exe", 0, ""},
      {ScanTarget::ProcessById, "", 4, ""},
      {ScanTarget::ProcessById, "", 999999, "pid: no process with the id 999999 is running"},
      {ScanTarget::ProcessById, "", 8, ""},
      {ScanTarget::AllProcesses, "", 0, ""},
      {ScanTarget::AllDrives, "", 0, ""},
      {ScanTarget::SelfTest, "", 0, ""},
  };
  for (const Case& c : cases) {
    ConsoleOptions options;
    options.target = c.target;
    options.path = c.path;
    options.processId = c.processId;
    EXPECT_EQ(CheckTargets(options, TableProbes()), c.error) << c.path << " " << c.processId;
  }
}

// An argument whose characters the code page lacks (they became '?') cannot
// name a file or a process: refused before any probe, with the reason.
TEST(ConsoleCheckTargets, APathThatLostCharactersNamesNothing) {
  int probed = 0;
  TargetProbes probes = TableProbes();
  const auto path = probes.path;
  probes.path = [&](const std::string& text) {
    ++probed;
    return path(text);
  };
  for (ScanTarget target : {ScanTarget::FileStreams, ScanTarget::FolderTree, ScanTarget::Content,
                            ScanTarget::ProcessesByName}) {
    ConsoleOptions options;
    options.target = target;
    options.path = "C:\\dir";
    const std::string error = CheckTargets(options, probes, true);
    EXPECT_EQ(error.rfind(std::string(CommandName(target)) + ": 'C:\\dir' names nothing: the "
                          "argument holds characters that this Windows's code page lacks", 0),
              0u)
        << error;
  }
  EXPECT_EQ(probed, 0);
  ConsoleOptions content;
  content.target = ScanTarget::StandardInput;
  content.path = "caf? ?.eml";  // a content name is only a label
  EXPECT_EQ(CheckTargets(content, probes, true), "");
}

TEST(ConsoleCommandLine, CommandAndTargetOfTheRunRecords) {
  struct Case {
    std::vector<std::string> arguments;
    std::string command;
    std::string target;
  };
  const Case cases[] = {
      {{"streams", "C:\\a.txt"}, "streams", "C:\\a.txt"},
      {{"folder", "D:\\Shares"}, "folder", "D:\\Shares"},
      {{"drives"}, "drives", ""},
      {{"content", "C:\\a.txt:s"}, "content", "C:\\a.txt:s"},
      {{"processes"}, "processes", ""},
      {{"processes", "notepad.exe"}, "processes", "notepad.exe"},
      {{"pid", "0004711", "--name", "x.exe"}, "pid", "4711"},
      {{"stdin", "mail.eml"}, "stdin", "mail.eml"},
      {{"self-test"}, "self-test", ""},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = Parse(c.arguments);
    ASSERT_TRUE(parsed.run) << parsed.error;
    EXPECT_STREQ(CommandName(parsed.options.target), c.command.c_str());
    EXPECT_EQ(TargetText(parsed.options), c.target) << c.command;
  }
}

}  // namespace
}  // namespace tarvex::console
