// Command line of the console scanner, parsed with CLI11; the help text is
// our own, so that it names each command's arguments and options.
#include "console_command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace tarvex::console {
namespace {

const char* const kCommands[] = {"streams",   "folder", "drives", "content",
                                 "processes", "pid",    "stdin",  "self-test"};

const char kHelpBody[] =
    "Scans files, streams, folders, processes and data with the antimalware\n"
    "product of this machine (AMSI), through the tarvex engine.\n"
    "\n"
    "Commands:\n"
    "  streams PATH           the named streams of one file or folder\n"
    "  folder FOLDER          the named streams of everything in a folder tree\n"
    "  drives                 the named streams on all fixed and removable drives\n"
    "  content PATH           the content of one file or stream (file.txt:name)\n"
    "  processes [NAME]       the memory of all processes, or of those whose\n"
    "                         executable is named NAME (notepad.exe)\n"
    "  pid PID [--name NAME]  the memory of the process with the id PID (decimal);\n"
    "                         NAME is reported when its image path cannot be found\n"
    "  stdin NAME             the data read from standard input, scanned as NAME\n"
    "  self-test              scans the antivirus test string: is AMSI usable?\n"
    "\n"
    "Options, before or after the command:\n"
    "  --json                 JSON Lines: a run_start record, one object record per\n"
    "                         scanned object, a run_end record\n"
    "  --csv                  CSV: a header line, then the same records as rows\n"
    "  --out FILE             write to FILE (replacing it), not to standard output\n"
    "  --findings-only, --only-findings\n"
    "                         write only the objects that were detected or could\n"
    "                         not be scanned; the counts cover every object\n"
    "  --help                 show this help and exit\n"
    "  --version              show the program's name and version and exit\n"
    "Without --json or --csv the output is the engine's text report. All output is\n"
    "UTF-8; JSON Lines and CSV lines end in LF, report lines in CR LF. The records\n"
    "are described in docs/output.md (schema version 1).\n"
    "\n"
    "Exit codes:\n"
    "  0  complete: everything was scanned and nothing was detected\n"
    "  1  something was detected, also when the scan was cancelled or the output\n"
    "     could not be written (self-test: the test string was detected, but the\n"
    "     output could not be written)\n"
    "  2  complete: nothing was detected, but something could not be scanned, or\n"
    "     there was nothing to scan (\"not scanned\" is never clean)\n"
    "  3  usage error, a target that does not exist, or the engine cannot be\n"
    "     loaded; nothing was scanned\n"
    "  4  cancelled with Ctrl+C or Ctrl+Break and nothing detected; what was found\n"
    "     so far is written, marked partial\n"
    "  5  self-test only: AMSI answered but did not detect the test string\n"
    "  6  the output could not be written, and nothing was detected\n";

std::string HelpText(const std::string& programName) {
  return "Usage: " + programName + " COMMAND [ARGUMENTS] [OPTIONS]\n\n" + kHelpBody;
}

std::string UsageLine(const std::string& programName, const std::string& message) {
  std::string line = programName + ": " + message;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line + " (see " + programName + " --help)";
}

bool IsCommand(const std::string& word) {
  return std::find(std::begin(kCommands), std::end(kCommands), word) != std::end(kCommands);
}

std::string CommandList() {
  std::string list;
  for (const char* command : kCommands) list += (list.empty() ? "" : ", ") + std::string(command);
  return list;
}

// The first argument that is neither an option nor the value of --out: the
// command word, if the command line has one.
const std::string* FirstPositional(const std::vector<std::string>& arguments) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--out") {
      ++i;
      continue;
    }
    if (arguments[i].size() > 1 && arguments[i][0] == '-') continue;
    return &arguments[i];
  }
  return nullptr;
}

// The line for a command line CLI11 refused; a missing or unknown command is
// named as such.
std::string RefusalLine(const std::vector<std::string>& arguments, CLI::App& app,
                        const CLI::ParseError& error) {
  const std::string* command = FirstPositional(arguments);
  if (command == nullptr) return "a command is required; commands: " + CommandList();
  if (!IsCommand(*command)) {
    return "unknown command '" + *command + "'; commands: " + CommandList();
  }
  // Name the command whose argument is wrong ("streams: path is required").
  const std::vector<CLI::App*> commands = app.get_subcommands();
  const std::string prefix = commands.empty() ? std::string() : commands.front()->get_name() + ": ";
  return prefix + error.what();
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

  CLI::App app{"", programName};
  app.fallthrough();  // the output options may also follow the command
  app.set_version_flag("--version", programName + " " + version);

  bool csv = false;
  bool json = false;
  CLI::Option* csvOption = app.add_flag("--csv", csv);
  app.add_flag("--json", json)->excludes(csvOption);
  app.add_flag("--findings-only,--only-findings", options.findingsOnly);
  app.add_option("--out", options.outPath);

  CLI::App* streams = app.add_subcommand("streams");
  streams->add_option("path", options.path)->required();
  CLI::App* folder = app.add_subcommand("folder");
  folder->add_option("folder", options.path)->required();
  CLI::App* drives = app.add_subcommand("drives");
  CLI::App* content = app.add_subcommand("content");
  content->add_option("path", options.path)->required();
  CLI::App* processes = app.add_subcommand("processes");
  processes->add_option("name", options.path);
  std::string processIdText;
  CLI::App* pid = app.add_subcommand("pid");
  pid->add_option("pid", processIdText)->required();
  pid->add_option("--name", options.processName);
  CLI::App* standardInput = app.add_subcommand("stdin");
  standardInput->add_option("name", options.path)->required();
  CLI::App* selfTest = app.add_subcommand("self-test");
  app.require_subcommand(1, 1);

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    parsed.exitCode = kExitClean;
    parsed.output = HelpText(programName);
    return parsed;
  } catch (const CLI::CallForAllHelp&) {
    parsed.exitCode = kExitClean;
    parsed.output = HelpText(programName);
    return parsed;
  } catch (const CLI::CallForVersion& e) {
    parsed.exitCode = kExitClean;
    parsed.output = std::string(e.what()) + "\n";
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.exitCode = kExitUsage;
    parsed.error = UsageLine(programName, RefusalLine(arguments, app, e));
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

const char* CommandName(ScanTarget target) {
  switch (target) {
    case ScanTarget::FileStreams:
      return "streams";
    case ScanTarget::FolderTree:
      return "folder";
    case ScanTarget::AllDrives:
      return "drives";
    case ScanTarget::Content:
      return "content";
    case ScanTarget::AllProcesses:
    case ScanTarget::ProcessesByName:
      return "processes";
    case ScanTarget::ProcessById:
      return "pid";
    case ScanTarget::StandardInput:
      return "stdin";
    case ScanTarget::SelfTest:
      break;
  }
  return "self-test";
}

std::string TargetText(const ConsoleOptions& options) {
  switch (options.target) {
    case ScanTarget::ProcessById:
      return std::to_string(options.processId);
    case ScanTarget::AllDrives:
    case ScanTarget::AllProcesses:
    case ScanTarget::SelfTest:
      return std::string();
    default:
      return options.path;
  }
}

std::string CheckTargets(const ConsoleOptions& options, const TargetProbes& probes,
                         bool pathLostCharacters) {
  const std::string command = CommandName(options.target);
  const std::string quoted = "'" + options.path + "'";
  const bool namesTarget = options.target == ScanTarget::FileStreams ||
                           options.target == ScanTarget::FolderTree ||
                           options.target == ScanTarget::Content ||
                           options.target == ScanTarget::ProcessesByName;
  if (namesTarget && pathLostCharacters) {
    return command + ": " + quoted +
           " names nothing: the argument holds characters that this Windows's code page "
           "lacks, and they became '?' (Windows 10 version 1903 and later keep them)";
  }
  switch (options.target) {
    case ScanTarget::FileStreams:
    case ScanTarget::FolderTree:
    case ScanTarget::Content: {
      // An empty folder path would make the engine walk every drive.
      if (options.path.empty()) return command + ": the path is empty";
      const PathKind kind = probes.path(options.path);
      if (kind == PathKind::Missing) return command + ": " + quoted + " does not exist";
      if (options.target == ScanTarget::FolderTree && kind == PathKind::File) {
        return command + ": " + quoted + " is not a folder";
      }
      if (options.target == ScanTarget::Content && kind == PathKind::Folder) {
        return command + ": " + quoted + " is a folder (use 'streams' or 'folder' for its streams)";
      }
      return std::string();
    }
    case ScanTarget::ProcessesByName:
      if (probes.processNamed(options.path) == Presence::Absent) {
        return command + ": no process named " + quoted + " is running";
      }
      return std::string();
    case ScanTarget::ProcessById:
      if (probes.processWithId(options.processId) == Presence::Absent) {
        return command + ": no process with the id " + std::to_string(options.processId) +
               " is running";
      }
      return std::string();
    case ScanTarget::StandardInput:
      if (options.path.empty()) return "stdin: the content name is empty";
      return std::string();
    default:
      return std::string();
  }
}

}  // namespace tarvex::console
