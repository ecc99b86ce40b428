// The three output forms of a run, record by record, so that a writer never
// holds more than one record: JSON Lines and CSV (both UTF-8, every line
// ending in LF) and the engine's fixed-width text report (lines ending in CR LF).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "console_records.h"

namespace tarvex::console {

// ---- JSON Lines: one object per line ----------------------------------------
std::string JsonRunStartLine(const RunStart& start);
std::string JsonObjectLine(const ObjectRecord& object);
std::string JsonRunEndLine(const RunEnd& end);

// ---- CSV: a header, then one row per record ---------------------------------
// The columns: "Record", then the members of the object record, then those of
// run_start and run_end that the object has not; a row leaves the members of
// the other kinds empty, and null is an empty cell. Cells holding a comma, a
// quote, CR or LF are quoted (RFC 4180).
extern const std::array<const char*, 25> kCsvColumns;
std::string CsvHeaderLine();
std::string CsvRunStartLine(const RunStart& start);
std::string CsvObjectLine(const ObjectRecord& object);
std::string CsvRunEndLine(const RunEnd& end);

// ---- text report ------------------------------------------------------------
// The engine's report form: a header line of the titles, a rule of
// underscores as long as the widths together, and one line per entry; each
// cell padded with blanks to its column's width, which is the longest text of
// the column (title included) plus 3 characters; every line ends in CR LF.
// Widths count characters, so a UTF-8 text lines up as the ANSI one did.
using ReportCells = std::array<std::string, 6>;

class ReportLayout {
 public:
  void Widen(const ReportCells& cells);
  std::string HeaderAndRule(const ReportCells& titles) const;
  std::string Line(const ReportCells& cells) const;

 private:
  std::array<size_t, 6> widthChars_{};
};

ReportCells ReportCellsOf(const ConsoleEntry& entry, const TextConverter& toUtf8);

}  // namespace tarvex::console
