// Text report: header, rule of underscores, then one padded line per entry.
#include "text_report.h"

#include <array>

namespace tarvex {
namespace {

// Reads the next value of each field in field order; false when any read hit the end.
bool ReadRow(ResultList& results, std::array<const char*, kFieldCount>& row) {
  bool complete = true;
  for (int field = 0; field < kFieldCount; ++field) {
    row[field] = results.Next(field);
    if (row[field] == nullptr) complete = false;
  }
  return complete;
}

void AppendPaddedLine(std::string& report, const std::array<const char*, kFieldCount>& row,
                      const std::array<int32_t, kFieldCount>& widths) {
  for (int field = 0; field < kFieldCount; ++field) {
    const std::string cell = row[field];
    report += cell;
    if (static_cast<int64_t>(cell.size()) < widths[field]) {
      report.append(static_cast<size_t>(widths[field]) - cell.size(), ' ');
    }
  }
  report += "\r\n";
}

}  // namespace

std::string BuildTextReport(ResultList& results, const std::function<bool()>& cancelled) {
  std::string report;
  results.SetToStart();
  std::array<const char*, kFieldCount> row{};
  if (!ReadRow(results, row)) return report;

  const auto& widths = results.Widths();
  AppendPaddedLine(report, row, widths);
  int64_t ruleLength = 0;
  for (int32_t width : widths) ruleLength += width;
  report.append(static_cast<size_t>(ruleLength), '_');
  report += "\r\n";

  while (!cancelled()) {
    if (!ReadRow(results, row)) break;
    AppendPaddedLine(report, row, widths);
  }
  return report;
}

}  // namespace tarvex
