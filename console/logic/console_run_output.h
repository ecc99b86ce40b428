// Writes one run in the chosen form while reading the job's result entries
// one at a time, so that memory stays flat however many entries there are;
// counts every entry, filters the written ones and decides the exit code.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "console_command_line.h"
#include "console_records.h"

namespace tarvex::console {

// The job's result list: the title entry first, then one entry per object.
class EntryCursor {
 public:
  virtual ~EntryCursor() = default;
  // Back before the first entry.
  virtual void Restart() = 0;
  // The next entry; false at the end of the list.
  virtual bool Next(ConsoleEntry* entry) = 0;
};

// Where the output goes. Write returns false once the text could not be
// written; the writer writes nothing more after that.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual bool Write(std::string_view utf8Text) = 0;
  // Writes out what is buffered; false when that fails.
  virtual bool Flush() = 0;
};

struct RunOutputSettings {
  OutputFormat format = OutputFormat::Report;
  bool findingsOnly = false;  // write only detected and not-scanned objects
  TextConverter toUtf8;
  std::function<std::string()> endTime;  // the UTC time text of run_end
  // The exit code from the counts and whether writing failed (RunExitCode
  // for scans, SelfTestExitCode for the self-test).
  std::function<int(const OutcomeCounts& counts, bool writeFailed)> exitCode;
  bool partial = false;  // cancelled: run_end says so
};

struct RunOutcome {
  OutcomeCounts counts;  // every entry, written or not
  int exitCode = 0;
  bool writeFailed = false;
  // A written file, stream or process name holds '?': the code page could
  // not hold one of its characters.
  bool lostCharacters = false;
};

// Writes one run: Begin before the job, Finish after it. JSON Lines and CSV:
// run_start (CSV: the header first), the object records of the entries that
// pass the filter, run_end with the counts of all entries and the exit code.
// Report: the header and rule lines and one line per written entry, widths
// over the written entries (the list is read twice); no run records, and
// nothing at all for a run without a title entry (no job ran).
class RunWriter {
 public:
  // settings is read, not copied: partial and exitCode may be set up to Finish.
  RunWriter(const RunOutputSettings& settings, TextSink& sink);
  ~RunWriter();
  RunWriter(const RunWriter&) = delete;
  RunWriter& operator=(const RunWriter&) = delete;

  // JSON Lines and CSV: the header and run_start, written out at once, so a
  // run that is ended from outside still leaves its start. Report: nothing.
  void Begin(const RunStart& start);
  // The entries and run_end, or the report; then everything is written out.
  RunOutcome Finish(EntryCursor& entries);

  class GuardedSink;  // the sink that stops at the first failure (in the .cpp)

 private:
  const RunOutputSettings& settings_;
  std::unique_ptr<GuardedSink> out_;
};

// Begin and Finish in one.
RunOutcome WriteRun(const RunStart& start, EntryCursor& entries, const RunOutputSettings& settings,
                    TextSink& sink);

// True when an object of this outcome is written under the filter.
bool PassesFilter(EntryOutcome outcome, bool findingsOnly);

}  // namespace tarvex::console
