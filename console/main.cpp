// OstrelleCmd64.exe / OstrelleCmd.exe: the console scanner for scripts.
// Parses the command line, loads the engine by file name, checks the target,
// runs one job and writes the report, CSV or JSON Lines while reading the
// entries from the engine; the exit code tells the outcome.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console_command_line.h"
#include "console_io.h"
#include "console_run_output.h"
#include "console_self_test.h"
#include "run_facts.h"
#include "scan_session.h"
#include "tarvex_test_string.h"
#include "text_conversion.h"

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

void SayOnStandardError(const std::string& message) {
  WriteErrorLine(std::string(kProgramName) + ": " + message);
}

int Fail(int exitCode, const std::string& message) {
  SayOnStandardError(message);
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

// The engine's own findings-only flag is not used: it only drops the verdict
// word of clean objects; the output filter is the program's.
void StartJob(const EngineExports& engine, const ConsoleOptions& options, void* window,
              TarvexTimerProc proc) {
  switch (options.target) {
    case ScanTarget::FileStreams:
      engine.TarvexAdsInFile(window, proc, options.path.c_str(), 0);
      break;
    case ScanTarget::FolderTree:
      engine.TarvexAdsInFolder(window, proc, options.path.c_str(), 0);
      break;
    case ScanTarget::AllDrives:
      engine.TarvexAdsInFolder(window, proc, "", 0);
      break;
    case ScanTarget::Content:
      engine.TarvexAds(window, proc, options.path.c_str(), 0);
      break;
    case ScanTarget::AllProcesses:
      engine.TarvexAllProcesses(window, proc, 0);
      break;
    case ScanTarget::ProcessesByName:
      engine.TarvexProcessWithName(window, proc, options.path.c_str(), 0);
      break;
    case ScanTarget::ProcessById:
      engine.TarvexProcessWithPid(window, proc, static_cast<intptr_t>(options.processId),
                                  options.processName.c_str(), 0);
      break;
    default:
      break;
  }
}

RunStart MakeRunStart(const ConsoleOptions& options, const EngineLibrary& engine) {
  RunStart start;
  start.program = std::string(kProgramName) + ".exe";
  start.programVersion = TARVEX_VERSION_TEXT;
  start.engineVersion = ModuleVersion(engine.Module());
  start.host = HostName();
  start.user = UserName();
  start.startTime = UtcNowText();
  start.command = CommandName(options.target);
  start.target = Utf8FromAnsi(TargetText(options));
  start.findingsOnly = options.findingsOnly;
  return start;
}

RunOutputSettings OutputSettings(const ConsoleOptions& options) {
  RunOutputSettings settings;
  settings.format = options.format;
  settings.findingsOnly = options.findingsOnly;
  settings.toUtf8 = [](const std::string& text) { return Utf8FromAnsi(text); };
  settings.endTime = &UtcNowText;
  return settings;
}

// The lines on standard error after the output: a write failure, a cancel,
// and names the code page could not hold.
void ReportRunOnStandardError(const RunOutcome& outcome, bool cancelled, const OutputSink& sink,
                              bool namesMayLoseCharacters) {
  if (outcome.writeFailed) SayOnStandardError(sink.ErrorLine());
  if (cancelled)
    SayOnStandardError("cancelled; the results found so far are written, marked partial");
  if (namesMayLoseCharacters && outcome.lostCharacters && !AnsiCodePageIsUtf8()) {
    SayOnStandardError("warning: names with characters outside code page " +
                       std::to_string(GetACP()) +
                       " are written with '?' (this Windows has no UTF-8 code page for programs; "
                       "Windows 10 version 1903 and later have)");
  }
}

int RunSelfTest(const EngineExports& engine, const ConsoleOptions& options, const RunStart& start,
                OutputSink& sink) {
  JobOutcome job;
  SelfTestReport judged;
  RunOutputSettings settings = OutputSettings(options);
  settings.exitCode = [&](const OutcomeCounts& counts, bool writeFailed) {
    if (job.cancelled) return RunExitCode({counts, job.jobVerdict, true, writeFailed});
    return SelfTestExitCode(judged.exitCode, writeFailed);
  };
  RunWriter writer(settings, sink);
  writer.Begin(start);

  const std::string testString = AntivirusTestString();
  RunSynchronousJob(
      engine,
      [&] {
        return engine.TarvexBuffer2("OstrelleCmd self-test", testString.data(), testString.size(),
                                    0, "", "");
      },
      &job);
  settings.partial = job.cancelled;
  EngineEntryCursor entries(engine);
  SelfTestFacts facts;
  facts.amsiState = engine.IsAmsiAvailable();
  facts.jobVerdict = job.jobVerdict;
  entries.Restart();
  ConsoleEntry title;
  facts.haveEntry = !job.cancelled && entries.Next(&title) && entries.Next(&facts.entry);
  judged = JudgeSelfTest(facts);

  if (options.format != OutputFormat::Report) {
    const RunOutcome outcome = writer.Finish(entries);
    ReportRunOnStandardError(outcome, job.cancelled, sink, false);
    return outcome.exitCode;
  }
  // The report form of the self-test is its judgement.
  if (job.cancelled) return Fail(kExitCancelled, "cancelled");
  const bool written = sink.Write(Utf8FromAnsi(judged.text)) && sink.Flush();
  if (!written) SayOnStandardError(sink.ErrorLine());
  return SelfTestExitCode(judged.exitCode, !written);
}

int Run(int argc, wchar_t** argv) {
  std::vector<std::string> lossyArguments;
  const std::vector<std::string> arguments = AnsiArguments(argc, argv, &lossyArguments);
  const ParsedCommandLine parsed = ParseCommandLine(arguments, kProgramName, TARVEX_VERSION_TEXT);
  if (!parsed.run) {
    if (!parsed.output.empty()) {
      OutputSink standardOutput;
      std::string error;
      if (!standardOutput.Open("", &error) || !standardOutput.Write(parsed.output) ||
          !standardOutput.Flush()) {
        return Fail(kExitWriteFailed, standardOutput.ErrorLine());
      }
    }
    if (!parsed.error.empty()) WriteErrorLine(parsed.error);
    return parsed.exitCode;
  }
  const ConsoleOptions& options = parsed.options;

  static EngineLibrary engine;  // outlives a worker that is still ending
  std::string error;
  KeepCurrentFolderOutOfDllSearch();
  if (!LoadEngine(engine, &error)) return Fail(kExitUsage, error);
  const bool pathLostCharacters =
      std::find(lossyArguments.begin(), lossyArguments.end(), options.path) !=
      lossyArguments.end();
  const std::string targetError =
      CheckTargets(options, SystemTargetProbes(), pathLostCharacters);
  if (!targetError.empty()) return Fail(kExitUsage, targetError);
  OutputSink sink;
  if (!sink.Open(options.outPath, &error)) return Fail(kExitWriteFailed, error);
  const CancelHandler cancelHandler(engine);
  const RunStart start = MakeRunStart(options, engine);

  if (options.target == ScanTarget::SelfTest) return RunSelfTest(engine, options, start, sink);

  JobOutcome job;
  RunOutputSettings settings = OutputSettings(options);
  settings.exitCode = [&](const OutcomeCounts& counts, bool writeFailed) {
    return RunExitCode({counts, job.jobVerdict, job.cancelled, writeFailed});
  };
  RunWriter writer(settings, sink);
  if (options.target == ScanTarget::StandardInput) {
    std::vector<char> data;
    writer.Begin(start);
    const InputOutcome input = ReadInputUnlessCancelled(&data, &error);
    if (input == InputOutcome::Failed) {
      sink.Discard();
      return Fail(kExitUsage, error);
    }
    if (input == InputOutcome::Cancelled) {
      job.cancelled = true;  // nothing scanned; the run records still say so
    } else {
      RunSynchronousJob(
          engine,
          [&] {
            return engine.TarvexBuffer2(options.path.c_str(), data.data(), data.size(), 0, "", "");
          },
          &job);
    }
  } else {
    writer.Begin(start);
    if (!RunAsynchronousJob(
            engine,
            [&](void* window, TarvexTimerProc proc) { StartJob(engine, options, window, proc); },
            &job, &error)) {
      return Fail(kExitUsage, error);
    }
  }
  settings.partial = job.cancelled;
  EngineEntryCursor entries(engine);
  const RunOutcome outcome = writer.Finish(entries);
  const bool namedObjects = options.target != ScanTarget::StandardInput;
  ReportRunOnStandardError(outcome, job.cancelled, sink, namedObjects);
  return outcome.exitCode;
}

}  // namespace
}  // namespace tarvex::console

int wmain(int argc, wchar_t** argv) {
  try {
    return tarvex::console::Run(argc, argv);
  } catch (const std::bad_alloc&) {
    tarvex::console::WriteErrorLine("out of memory");
  } catch (...) {
    tarvex::console::WriteErrorLine("internal error");
  }
  return tarvex::console::kExitNotScanned;
}
