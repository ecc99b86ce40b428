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
           {"--out=r.json", "folder", "--findings-only", "C:\\x", "--json"}}) {
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
  for (const char* word : {"streams", "folder", "drives", "content", "processes", "pid", "stdin",
                           "self-test", "--csv", "--json", "--out", "--findings-only", "Exit codes",
                           "  2  nothing was detected", "  4  cancelled"}) {
    EXPECT_NE(parsed.output.find(word), std::string::npos) << word;
  }
}

TEST(ConsoleCommandLine, CommandHelpAndVersion) {
  const ParsedCommandLine help = Parse({"pid", "--help"});
  EXPECT_EQ(help.exitCode, kExitClean);
  EXPECT_NE(help.output.find("--name"), std::string::npos) << help.output;

  const ParsedCommandLine version = Parse({"--version"});
  EXPECT_FALSE(version.run);
  EXPECT_EQ(version.exitCode, kExitClean);
  EXPECT_EQ(version.output, "9.8.7\n");
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

TEST(ConsoleCheckTargets, PathsMustExistWithTheRightKind) {
  const std::map<std::string, PathKind> disk = {{"C:\\f.txt", PathKind::File},
                                                {"C:\\dir", PathKind::Folder}};
  const PathProbe probe = [&](const std::string& path) {
    const auto found = disk.find(path);
    return found == disk.end() ? PathKind::Missing : found->second;
  };
  struct Case {
    ScanTarget target;
    std::string path;
    std::string error;  // expected part of the error, "" for none
  };
  const Case cases[] = {
      {ScanTarget::FileStreams, "C:\\f.txt", ""},
      {ScanTarget::FileStreams, "C:\\dir", ""},
      {ScanTarget::FileStreams, "C:\\gone.txt", "streams: 'C:\\gone.txt' does not exist"},
      {ScanTarget::FolderTree, "C:\\dir", ""},
      {ScanTarget::FolderTree, "C:\\f.txt", "folder: 'C:\\f.txt' is not a folder"},
      {ScanTarget::FolderTree, "C:\\nothing", "does not exist"},
      {ScanTarget::FolderTree, "", "folder: the path is empty"},
      {ScanTarget::Content, "C:\\f.txt", ""},
      {ScanTarget::Content, "C:\\dir", "is a folder"},
      {ScanTarget::Content, "C:\\none:s", "does not exist"},
      {ScanTarget::StandardInput, "", "content name is empty"},
      {ScanTarget::StandardInput, "x", ""},
      {ScanTarget::ProcessesByName, "nothing-like-it.exe", ""},
      {ScanTarget::AllDrives, "", ""},
  };
  for (const Case& c : cases) {
    ConsoleOptions options;
    options.target = c.target;
    options.path = c.path;
    const std::string error = CheckTargets(options, probe);
    if (c.error.empty()) {
      EXPECT_EQ(error, "") << c.path;
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.path << ": " << error;
    }
  }
}

}  // namespace
}  // namespace tarvex::console
