// Command line of the console scanner: what to scan, how to write the results.
// Plain C++ (CLI11); the checks that need the system go through probes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console_scan_outcome.h"

namespace tarvex::console {

enum class ScanTarget {
  FileStreams,      // streams FILE        -> TarvexAdsInFile
  FolderTree,       // folder FOLDER       -> TarvexAdsInFolder
  AllDrives,        // drives              -> TarvexAdsInFolder with an empty path
  Content,          // content PATH        -> TarvexAds (a file or "file:stream")
  AllProcesses,     // processes           -> TarvexAllProcesses
  ProcessesByName,  // processes NAME      -> TarvexProcessWithName
  ProcessById,      // pid PID [--name N]  -> TarvexProcessWithPid
  StandardInput,    // stdin NAME          -> TarvexBuffer2 with the data read from stdin
  SelfTest,         // self-test           -> TarvexBuffer2 with the antivirus test string
};

enum class OutputFormat { Report, Csv, Json };

struct ConsoleOptions {
  ScanTarget target = ScanTarget::SelfTest;
  std::string path;         // file, folder, stream path, executable name or content name
  std::string processName;  // pid: name used where the image path cannot be found
  uint32_t processId = 0;
  bool findingsOnly = false;  // write only detected and not-scanned objects
  OutputFormat format = OutputFormat::Report;
  std::string outPath;  // empty: standard output
};

struct ParsedCommandLine {
  bool run = false;  // true: scan with options; false: exit with exitCode
  int exitCode = kExitUsage;
  std::string output;  // text for standard output (help, version)
  std::string error;   // one line for standard error (usage errors)
  ConsoleOptions options;
};

// arguments excludes the program name. programName appears in help, errors
// and the version line.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   const std::string& programName, const std::string& version);

// The command word of a target, as typed ("streams", "pid", ...).
const char* CommandName(ScanTarget target);

// The target as the run records name it: the path, executable name, process
// id or content name; empty for drives, all processes and the self-test.
std::string TargetText(const ConsoleOptions& options);

// What the system holds at a path: Unknown when it cannot be told (access
// denied, a network error, a name the system does not take); such targets go
// to the engine, which reports what it meets.
enum class PathKind { Missing, File, Folder, Unknown };
enum class Presence { Present, Absent, Unknown };

struct TargetProbes {
  std::function<PathKind(const std::string& path)> path;
  // Whether a process of that executable name (compared as the engine does,
  // without regard to case) or of that id is running.
  std::function<Presence(const std::string& executableName)> processNamed;
  std::function<Presence(uint32_t processId)> processWithId;
};

// Checks the targets before anything is scanned: the path of streams, folder
// and content must exist (a folder for "folder", not a folder for
// "content"); the process of processes NAME and of pid must be running.
// pathLostCharacters: the path or name argument held characters that the
// process's code page lacks (they became '?'), so it cannot name its target.
// Returns the error line (without the program name), or an empty text when
// the options are usable.
std::string CheckTargets(const ConsoleOptions& options, const TargetProbes& probes,
                         bool pathLostCharacters = false);

// Strict decimal process id: digits only, 0 to 4294967295 (0 names the idle process,
// which the engine reports as an open failure).
bool ParseProcessId(const std::string& text, uint32_t* processId);

}  // namespace tarvex::console
