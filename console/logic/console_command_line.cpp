// Command line of the console scanner, parsed with CLI11.
#include "console_command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

namespace tarvex::console {
namespace {

const char kExitCodeHelp[] =
    "Exit codes:\n"
    "  0  everything was scanned and nothing was detected\n"
    "  1  something was detected\n"
    "  2  nothing was detected, but at least one object could not be scanned,\n"
    "     or the job scanned nothing at all (\"not scanned\" is never clean)\n"
    "  3  usage error, nonexistent target, unwritable --out file, or the engine\n"
    "     cannot be loaded; nothing was scanned\n"
    "  4  cancelled with Ctrl+C or Ctrl+Break\n"
    "  5  self-test only: AMSI answered but did not detect the test string\n"
    "\n"
    "Output: the engine's text report by default; --csv writes a header line and\n"
    "one line per entry, --json one JSON object per line and entry (UTF-8). Both\n"
    "carry the fields ProcessName, ProcessID, Scantarget, IsMalware,\n"
    "Scannermessage, ScannerErrornumber and Outcome (clean, detected, not scanned).\n";

std::string UsageLine(const std::string& programName, const std::string& message) {
  std::string line = programName + ": " + message;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line + " (see " + programName + " --help)";
}

}  // namespace

bool ParseProcessId(const std::string& text, uint32_t* processId) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return false;
  *processId = static_cast<uint32_t>(value);
  return true;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   const std::string& programName, const std::string& version) {
  ParsedCommandLine parsed;
  ConsoleOptions& options = parsed.options;

  CLI::App app{
      "Scans files, streams, folders, processes and data with the antimalware\n"
      "product of this machine (AMSI), through the tarvex engine.",
      programName};
  app.fallthrough();  // the output options may also follow the command
  app.set_version_flag("--version", version, "Show the version and exit");
  app.footer(kExitCodeHelp);

  bool csv = false;
  bool json = false;
  CLI::Option* csvOption = app.add_flag("--csv", csv, "Write the entries as CSV");
  app.add_flag("--json", json, "Write one JSON object per entry")->excludes(csvOption);
  app.add_flag("--findings-only", options.findingsOnly,
               "Leave the verdict word of clean objects empty");
  app.add_option("--out", options.outPath, "Write the output to FILE instead of standard output")
      ->type_name("FILE");

  CLI::App* streams = app.add_subcommand("streams", "Scan the named streams of one file or folder");
  streams->add_option("path", options.path, "File or folder")->required();
  CLI::App* folder =
      app.add_subcommand("folder", "Scan the named streams of everything in a folder tree");
  folder->add_option("folder", options.path, "Folder")->required();
  CLI::App* drives =
      app.add_subcommand("drives", "Scan the named streams on all fixed and removable drives");
  CLI::App* content =
      app.add_subcommand("content", "Scan the content of one file or stream (file:stream)");
  content->add_option("path", options.path, "File or stream path")->required();
  CLI::App* processes =
      app.add_subcommand("processes", "Scan the memory of all processes, or those named NAME");
  processes->add_option("name", options.path, "Executable name, for example notepad.exe");
  std::string processIdText;
  CLI::App* pid = app.add_subcommand("pid", "Scan the memory of one process");
  pid->add_option("pid", processIdText, "Process id (decimal)")->required();
  pid->add_option("--name", options.processName,
                  "Name to report when the image path cannot be found");
  CLI::App* standardInput =
      app.add_subcommand("stdin", "Scan the data read from standard input under a content name");
  standardInput->add_option("name", options.path, "Content name handed to AMSI")->required();
  CLI::App* selfTest =
      app.add_subcommand("self-test", "Check that AMSI is usable: scan the antivirus test string");
  app.require_subcommand(1, 1);
  app.get_formatter()->label("SUBCOMMAND", "COMMAND");

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    parsed.exitCode = kExitClean;
    parsed.output = app.help();
    return parsed;
  } catch (const CLI::CallForAllHelp&) {
    parsed.exitCode = kExitClean;
    parsed.output = app.help("", CLI::AppFormatMode::All);
    return parsed;
  } catch (const CLI::CallForVersion& e) {
    parsed.exitCode = kExitClean;
    parsed.output = std::string(e.what()) + "\n";
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.exitCode = kExitUsage;
    // Name the command whose argument is wrong ("streams: path is required").
    const std::vector<CLI::App*> commands = app.get_subcommands();
    const std::string command =
        commands.empty() ? std::string() : commands.front()->get_name() + ": ";
    parsed.error = UsageLine(programName, command + e.what());
    return parsed;
  }

  if (*streams) options.target = ScanTarget::FileStreams;
  if (*folder) options.target = ScanTarget::FolderTree;
  if (*drives) options.target = ScanTarget::AllDrives;
  if (*content) options.target = ScanTarget::Content;
  if (*processes) {
    options.target = options.path.empty() ? ScanTarget::AllProcesses : ScanTarget::ProcessesByName;
  }
  if (*pid) {
    options.target = ScanTarget::ProcessById;
    if (!ParseProcessId(processIdText, &options.processId)) {
      parsed.error = UsageLine(programName, "pid: '" + processIdText +
                                                "' is not a process id (a decimal number up to "
                                                "4294967295)");
      return parsed;
    }
  }
  if (*standardInput) options.target = ScanTarget::StandardInput;
  if (*selfTest) options.target = ScanTarget::SelfTest;
  options.format = csv ? OutputFormat::Csv : json ? OutputFormat::Json : OutputFormat::Report;

  parsed.run = true;
  parsed.exitCode = kExitClean;
  return parsed;
}

std::string CheckTargets(const ConsoleOptions& options, const PathProbe& probe) {
  const std::string quoted = "'" + options.path + "'";
  switch (options.target) {
    case ScanTarget::FileStreams:
    case ScanTarget::FolderTree:
    case ScanTarget::Content: {
      const char* command = options.target == ScanTarget::FileStreams  ? "streams"
                            : options.target == ScanTarget::FolderTree ? "folder"
                                                                       : "content";
      // An empty folder path would make the engine walk every drive.
      if (options.path.empty()) return std::string(command) + ": the path is empty";
      const PathKind kind = probe(options.path);
      if (kind == PathKind::Missing)
        return std::string(command) + ": " + quoted + " does not exist";
      if (options.target == ScanTarget::FolderTree && kind != PathKind::Folder) {
        return std::string(command) + ": " + quoted + " is not a folder";
      }
      if (options.target == ScanTarget::Content && kind == PathKind::Folder) {
        return std::string(command) + ": " + quoted +
               " is a folder (use 'streams' or 'folder' for its streams)";
      }
      return std::string();
    }
    case ScanTarget::StandardInput:
      if (options.path.empty()) return "stdin: the content name is empty";
      return std::string();
    default:
      return std::string();
  }
}

}  // namespace tarvex::console
