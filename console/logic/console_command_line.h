// Command line of the console scanner: what to scan, how to write the results.
// Plain C++ (CLI11); the checks that need the file system go through a probe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
  bool findingsOnly = false;
  OutputFormat format = OutputFormat::Report;
  std::string outPath;  // empty: standard output
};

// Exit codes of the program; documented in --help and the README.
enum ExitCode : int {
  kExitClean = 0,        // everything scanned, nothing detected
  kExitDetected = 1,     // at least one detection
  kExitNotScanned = 2,   // nothing detected, but something could not be scanned
  kExitUsage = 3,        // usage error, engine or output file unusable
  kExitCancelled = 4,    // Ctrl+C / Ctrl+Break: the job was cancelled
  kExitNotDetected = 5,  // self-test: AMSI answered but missed the test string
};

struct ParsedCommandLine {
  bool run = false;  // true: scan with options; false: exit with exitCode
  int exitCode = kExitUsage;
  std::string output;  // text for standard output (help, version)
  std::string error;   // one line for standard error (usage errors)
  ConsoleOptions options;
};

// arguments excludes the program name. programName appears in help and errors.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   const std::string& programName, const std::string& version);

// What the file system holds at a path.
enum class PathKind { Missing, File, Folder };
using PathProbe = std::function<PathKind(const std::string& path)>;

// Checks the targets before anything is scanned: the path of streams, folder
// and content must exist (a folder for "folder", not a folder for "content").
// Returns the error line, or an empty text when the options are usable.
std::string CheckTargets(const ConsoleOptions& options, const PathProbe& probe);

// Strict decimal process id: digits only, 0 to 4294967295 (0 names the idle process,
// which the engine reports as an open failure).
bool ParseProcessId(const std::string& text, uint32_t* processId);

}  // namespace tarvex::console
