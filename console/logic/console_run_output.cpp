// One run written record by record.
#include "console_run_output.h"

#include "console_output_formats.h"
#include "console_text.h"

namespace tarvex::console {

// Stops writing at the first failure and remembers it.
class RunWriter::GuardedSink {
 public:
  explicit GuardedSink(TextSink& sink) : sink_(sink) {}
  void Write(std::string_view text) {
    if (!failed_ && !sink_.Write(text)) failed_ = true;
  }
  void Flush() {
    if (!failed_ && !sink_.Flush()) failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  TextSink& sink_;
  bool failed_ = false;
};

namespace {

using GuardedSink = RunWriter::GuardedSink;

bool NamesShowLostCharacter(const ObjectRecord& object) {
  return ShowsLostCharacter(object.scantarget) || ShowsLostCharacter(object.processName);
}

void WriteRunStart(const RunStart& start, const RunOutputSettings& settings, GuardedSink& out) {
  const bool csv = settings.format == OutputFormat::Csv;
  if (csv) out.Write(CsvHeaderLine());
  out.Write(csv ? CsvRunStartLine(start) : JsonRunStartLine(start));
  out.Flush();
}

RunOutcome WriteRecords(EntryCursor& entries, const RunOutputSettings& settings, GuardedSink& out) {
  const bool csv = settings.format == OutputFormat::Csv;
  RunOutcome outcome;
  entries.Restart();
  ConsoleEntry entry;
  bool title = true;
  while (entries.Next(&entry)) {
    if (title) {
      title = false;
      continue;
    }
    const ObjectRecord object = MakeObjectRecord(entry, settings.toUtf8);
    outcome.counts.Add(object.outcome);
    if (!PassesFilter(object.outcome, settings.findingsOnly)) continue;
    if (NamesShowLostCharacter(object)) outcome.lostCharacters = true;
    out.Write(csv ? CsvObjectLine(object) : JsonObjectLine(object));
  }

  RunEnd end;
  end.endTime = settings.endTime();
  end.counts = outcome.counts;
  end.partial = settings.partial;
  end.exitCode = settings.exitCode(outcome.counts, out.Failed());
  out.Write(csv ? CsvRunEndLine(end) : JsonRunEndLine(end));
  return outcome;
}

RunOutcome WriteReport(EntryCursor& entries, const RunOutputSettings& settings, GuardedSink& out) {
  RunOutcome outcome;
  ReportLayout layout;
  ReportCells titles;
  ConsoleEntry entry;
  bool title = true;
  entries.Restart();
  while (entries.Next(&entry)) {
    const ReportCells cells = ReportCellsOf(entry, settings.toUtf8);
    if (title) {
      title = false;
      titles = cells;
      layout.Widen(cells);
      continue;
    }
    const EntryOutcome entryOutcome = ClassifyIsMalware(entry.isMalware);
    outcome.counts.Add(entryOutcome);
    if (PassesFilter(entryOutcome, settings.findingsOnly)) layout.Widen(cells);
  }
  if (title) return outcome;  // no job ran: no titles, nothing to write

  out.Write(layout.HeaderAndRule(titles));
  entries.Restart();
  title = true;
  while (entries.Next(&entry)) {
    if (title) {
      title = false;
      continue;
    }
    if (!PassesFilter(ClassifyIsMalware(entry.isMalware), settings.findingsOnly)) continue;
    const ReportCells cells = ReportCellsOf(entry, settings.toUtf8);
    if (ShowsLostCharacter(cells[0]) || ShowsLostCharacter(cells[2])) {
      outcome.lostCharacters = true;
    }
    out.Write(layout.Line(cells));
  }
  return outcome;
}

}  // namespace

bool PassesFilter(EntryOutcome outcome, bool findingsOnly) {
  return !findingsOnly || outcome != EntryOutcome::Clean;
}

RunWriter::RunWriter(const RunOutputSettings& settings, TextSink& sink)
    : settings_(settings), out_(std::make_unique<GuardedSink>(sink)) {}

RunWriter::~RunWriter() = default;

void RunWriter::Begin(const RunStart& start) {
  if (settings_.format != OutputFormat::Report) WriteRunStart(start, settings_, *out_);
}

RunOutcome RunWriter::Finish(EntryCursor& entries) {
  RunOutcome outcome = settings_.format == OutputFormat::Report
                           ? WriteReport(entries, settings_, *out_)
                           : WriteRecords(entries, settings_, *out_);
  out_->Flush();
  outcome.writeFailed = out_->Failed();
  outcome.exitCode = settings_.exitCode(outcome.counts, outcome.writeFailed);
  return outcome;
}

RunOutcome WriteRun(const RunStart& start, EntryCursor& entries, const RunOutputSettings& settings,
                    TextSink& sink) {
  RunWriter writer(settings, sink);
  writer.Begin(start);
  return writer.Finish(entries);
}

}  // namespace tarvex::console
