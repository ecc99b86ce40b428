// Console program overhead: OstrelleCmd64.exe (a process of its own that loads
// the engine, runs the job, reads every entry and writes JSON to a file)
// against the same job run by the engine alone in a fresh process of this
// program (load, start, wait for the notification, read every entry), on a
// folder walk and on a scan of all processes; "overhead" compares those two.
// The job in this already warm process and the start and end of an empty
// console process (--version) are shown for scale. The runs take turns, so
// warm-up and drift hit all alike; "paired" is the median of the differences
// within each round, the figure a loaded machine disturbs least.
//
//   bench_console.exe [rounds]
#include <windows.h>

#include "bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine_api.h"
#include "notification_window.h"
#include "program_folder.h"
#include "win32_handles.h"

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A tree of folderCount folders with fileCount files each, made once.
std::string MakeTree(int folderCount, int fileCount) {
  const std::string root = tarvex_test::ProgramDirectory() + "\\console-bench-tree";
  const std::string done = root + "\\complete";
  if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) return root;
  CreateDirectoryA(root.c_str(), nullptr);
  for (int folder = 0; folder < folderCount; ++folder) {
    const std::string path = root + "\\folder" + std::to_string(folder);
    CreateDirectoryA(path.c_str(), nullptr);
    for (int file = 0; file < fileCount; ++file) {
      std::ofstream(path + "\\file" + std::to_string(file) + ".txt") << "content " << file;
    }
  }
  std::ofstream(done) << "ok";
  return root;
}

// Engine alone: the job, the notification, and every entry read.
double EngineJob(const std::string& folder, size_t* entryCount) {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  tarvex_test::NotificationWindow window;
  const double start = Now();
  if (folder.empty()) {
    api.TarvexAllProcesses(window.Window(), &tarvex_test::NotificationWindow::TimerProc, 0);
  } else {
    api.TarvexAdsInFolder(window.Window(), &tarvex_test::NotificationWindow::TimerProc,
                          folder.c_str(), 0);
  }
  if (!window.WaitForNotification(600000)) return -1;
  *entryCount = tarvex_test::ReadEntries().size();
  return Now() - start;
}

// A program of the bench folder run to its end, from start to exit.
double ChildJob(const std::string& programName, const std::vector<std::string>& arguments,
                DWORD* exitCode) {
  const std::string program = tarvex_test::ProgramDirectory() + "\\" + programName;
  std::string commandLine = "\"" + program + "\"";
  for (const std::string& argument : arguments) commandLine += " \"" + argument + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const double start = Now();
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return -1;
  }
  const tarvex::UniqueProcessInformation child(info);
  WaitForSingleObject(child.process.Get(), INFINITE);
  const double elapsed = Now() - start;
  GetExitCodeProcess(child.process.Get(), exitCode);
  return elapsed;
}

#ifdef _WIN64
const char kConsoleProgram[] = "OstrelleCmd64.exe";
#else
const char kConsoleProgram[] = "OstrelleCmd.exe";
#endif
const char kBenchProgram[] = "bench_console.exe";

// Three ways to run the same job, in turns: the engine in this process (warm),
// the engine alone in a fresh process of this program (the floor for a
// program that starts, loads the engine and reads the results), and the
// console program writing JSON to a file.
void Compare(const char* name, const std::string& folder, const std::vector<std::string>& arguments,
             int rounds) {
  std::vector<double> warmTimes, childTimes, consoleTimes;
  size_t entries = 0;
  DWORD exitCode = 0;
  DWORD childExit = 0;
  const std::vector<std::string> childArguments =
      folder.empty() ? std::vector<std::string>{"--engine-job"}
                     : std::vector<std::string>{"--engine-job", folder};
  for (int round = 0; round < rounds; ++round) {
    warmTimes.push_back(EngineJob(folder, &entries));
    childTimes.push_back(ChildJob(kBenchProgram, childArguments, &childExit));
    consoleTimes.push_back(ChildJob(kConsoleProgram, arguments, &exitCode));
  }
  const double warm = Median(warmTimes);
  const double child = Median(childTimes);
  const double console = Median(consoleTimes);
  // The difference within each round, whose two runs met the same load.
  std::vector<double> differences;
  for (size_t i = 0; i < consoleTimes.size(); ++i) {
    differences.push_back(consoleTimes[i] - childTimes[i]);
  }
  const double difference = Median(differences);
  std::printf("%-14s %8zu %10.3f %12.3f %12.3f %9.1f %% %+9.3f %7.1f %%   exit %lu\n", name,
              entries - 1, warm, child, console, 100.0 * (console - child) / child, difference,
              100.0 * difference / child, exitCode);
}

}  // namespace

int main(int argc, char** argv) {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  if (!api.Complete()) {
    std::printf("engine not found\n");
    return 1;
  }
  // Child mode: one job of the engine alone, its entries read, nothing written.
  if (argc > 1 && std::string(argv[1]) == "--engine-job") {
    size_t entries = 0;
    return EngineJob(argc > 2 ? argv[2] : "", &entries) < 0 ? 1 : 0;
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string tree = MakeTree(40, 500);
  const std::string out = tarvex_test::ProgramDirectory() + "\\console-bench-out.json";

  std::vector<double> startTimes;
  DWORD exitCode = 0;
  for (int round = 0; round < 2 * rounds + 1; ++round) {
    startTimes.push_back(ChildJob(kConsoleProgram, {"--version"}, &exitCode));
  }
  std::printf("console program start and end (--version): %.3f s (median of %d)\n",
              Median(startTimes), 2 * rounds + 1);
  std::printf("%-14s %8s %10s %12s %12s %11s %9s %9s\n", "job", "entries", "warm [s]",
              "engine [s]", "console [s]", "overhead", "paired [s]", "paired");
  Compare("folder walk", tree, {"folder", tree, "--json", "--out", out}, rounds);
  Compare("all processes", "", {"processes", "--json", "--out", out}, rounds);
  DeleteFileA(out.c_str());
  return 0;
}
