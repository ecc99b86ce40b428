// OstrelleCmd64.exe / OstrelleCmd.exe: the console scanner for scripts.
// Parses the command line, loads the engine by file name, runs one job and
// writes the report, CSV or JSON; the exit code tells the outcome.
#include <windows.h>

#include <string>
#include <vector>

#include "console_command_line.h"
#include "console_io.h"
#include "console_entry_output.h"
#include "scan_session.h"
#include "text_conversion.h"
#include "console_self_test.h"
#include "tarvex_test_string.h"

namespace tarvex::console {
namespace {

#ifdef _WIN64
const char kProgramName[] = "OstrelleCmd64";
#else
const char kProgramName[] = "OstrelleCmd";
#endif

// The engine and AMSI are loaded by file name; the current folder is no place
// to look for them (a DLL planted there would run inside the scanner). The
// program's own folder and the system folders stay in the search.
void KeepCurrentFolderOutOfDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  // Windows 8 and later, Windows 7 with KB2533623.
  if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) SetDllDirectoryA("");
}

int Fail(int exitCode, const std::string& message) {
  WriteErrorLine(std::string(kProgramName) + ": " + message);
  return exitCode;
}

// Loads the engine and resolves its exports. The library stays loaded for the
// life of the process: a cancelled worker may still be ending when the
// program exits. On failure returns false with one line in *error.
bool LoadEngine(EngineLibrary& engine, std::string* error) {
  engine.KeepLoaded();
  if (engine.Load()) return true;
  if (!engine.Loaded()) {
    const DWORD loadError = engine.LoadError();
    *error = std::string("cannot load the engine ") + TARVEX_ENGINE_FILE_NAME + ": " +
             SystemErrorLine(loadError) + " (error " + std::to_string(loadError) + ")";
  } else {
    *error = std::string("the engine ") + TARVEX_ENGINE_FILE_NAME + " lacks the export " +
             engine.MissingExport();
  }
  return false;
}

void StartJob(const EngineExports& engine, const ConsoleOptions& options, void* window,
              TarvexTimerProc proc) {
  const int32_t findingsOnly = options.findingsOnly ? 1 : 0;
  switch (options.target) {
    case ScanTarget::FileStreams:
      engine.TarvexAdsInFile(window, proc, options.path.c_str(), findingsOnly);
      break;
    case ScanTarget::FolderTree:
      engine.TarvexAdsInFolder(window, proc, options.path.c_str(), findingsOnly);
      break;
    case ScanTarget::AllDrives:
      engine.TarvexAdsInFolder(window, proc, "", findingsOnly);
      break;
    case ScanTarget::Content:
      engine.TarvexAds(window, proc, options.path.c_str(), findingsOnly);
      break;
    case ScanTarget::AllProcesses:
      engine.TarvexAllProcesses(window, proc, findingsOnly);
      break;
    case ScanTarget::ProcessesByName:
      engine.TarvexProcessWithName(window, proc, options.path.c_str(), findingsOnly);
      break;
    case ScanTarget::ProcessById:
      engine.TarvexProcessWithPid(window, proc, static_cast<intptr_t>(options.processId),
                                  options.processName.c_str(), findingsOnly);
      break;
    default:
      break;
  }
}

int WriteResults(const ConsoleOptions& options, const JobOutcome& outcome, OutputSink& sink) {
  std::string error;
  bool written = false;
  switch (options.format) {
    case OutputFormat::Report:
      written = sink.Write(outcome.report, CP_ACP, &error);
      break;
    case OutputFormat::Csv:
      written = sink.Write(FormatCsv(outcome.entries, Utf8FromAnsi), CP_UTF8, &error);
      break;
    case OutputFormat::Json:
      written = sink.Write(FormatJsonLines(outcome.entries, Utf8FromAnsi), CP_UTF8, &error);
      break;
  }
  if (!written || !sink.Finish(&error)) return Fail(kExitUsage, error);
  return ScanExitCode(outcome.jobVerdict, outcome.entries, false);
}

int RunSelfTest(const EngineExports& engine, OutputSink& sink) {
  const std::string testString = AntivirusTestString();
  JobOutcome outcome;
  RunSynchronousJob(
      engine,
      [&] {
        return engine.TarvexBuffer2("OstrelleCmd self-test", testString.data(), testString.size(),
                                    0, "", "");
      },
      &outcome);
  if (outcome.cancelled) {
    sink.Discard();
    return Fail(kExitCancelled, "cancelled");
  }
  SelfTestFacts facts;
  facts.amsiState = engine.IsAmsiAvailable();
  facts.jobVerdict = outcome.jobVerdict;
  facts.haveEntry = !outcome.entries.empty();
  if (facts.haveEntry) facts.entry = outcome.entries.front();
  const SelfTestReport report = JudgeSelfTest(facts);
  std::string error;
  if (!sink.Write(report.text, CP_ACP, &error) || !sink.Finish(&error)) {
    return Fail(kExitUsage, error);
  }
  return report.exitCode;
}

int Run(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  const ParsedCommandLine parsed = ParseCommandLine(arguments, kProgramName, TARVEX_VERSION_TEXT);
  if (!parsed.run) {
    if (!parsed.output.empty()) {
      OutputSink standardOutput;
      std::string error;
      standardOutput.Write(parsed.output, CP_ACP, &error);
    }
    if (!parsed.error.empty()) WriteErrorLine(parsed.error);
    return parsed.exitCode;
  }
  const ConsoleOptions& options = parsed.options;

  static EngineLibrary engine;  // outlives a worker that is still ending
  std::string error;
  KeepCurrentFolderOutOfDllSearch();
  if (!LoadEngine(engine, &error)) return Fail(kExitUsage, error);
  const std::string targetError = CheckTargets(options, ProbePath);
  if (!targetError.empty()) return Fail(kExitUsage, targetError);
  OutputSink sink;
  if (!sink.Open(options.outPath, &error)) return Fail(kExitUsage, error);
  const CancelHandler cancelHandler(engine);

  if (options.target == ScanTarget::SelfTest) return RunSelfTest(engine, sink);

  JobOutcome outcome;
  if (options.target == ScanTarget::StandardInput) {
    std::vector<char> data;
    const InputOutcome input = ReadInputUnlessCancelled(&data, &error);
    if (input == InputOutcome::Cancelled) {
      sink.Discard();
      return Fail(kExitCancelled, "cancelled while reading standard input; nothing was scanned");
    }
    if (input == InputOutcome::Failed) {
      sink.Discard();
      return Fail(kExitUsage, error);
    }
    RunSynchronousJob(
        engine,
        [&] {
          return engine.TarvexBuffer2(options.path.c_str(), data.data(), data.size(),
                                      options.findingsOnly ? 1 : 0, "", "");
        },
        &outcome);
  } else if (!RunAsynchronousJob(
                 engine,
                 [&](void* window, TarvexTimerProc proc) {
                   StartJob(engine, options, window, proc);
                 },
                 &outcome, &error)) {
    sink.Discard();
    return Fail(kExitUsage, error);
  }
  if (outcome.cancelled) {
    sink.Discard();
    return Fail(kExitCancelled, "cancelled; the engine has stopped the job");
  }
  return WriteResults(options, outcome, sink);
}

}  // namespace
}  // namespace tarvex::console

int main(int argc, char** argv) {
  try {
    return tarvex::console::Run(argc, argv);
  } catch (const std::bad_alloc&) {
    tarvex::console::WriteErrorLine("out of memory");
  } catch (...) {
    tarvex::console::WriteErrorLine("internal error");
  }
  return tarvex::console::kExitNotScanned;
}
