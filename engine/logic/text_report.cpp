// Text report: header, rule of underscores, then one padded line per entry.
#include "text_report.h"

#include <array>
#include <string_view>

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

std::array<std::string_view, kFieldCount> FieldsOf(const ResultEntry& entry) {
  return {entry.processName, entry.processId,      entry.scantarget,
          entry.isMalware,   entry.scannermessage, entry.scannerErrornumber};
}

void AppendPaddedLine(std::string& report, const std::array<std::string_view, kFieldCount>& row,
                      const std::array<int32_t, kFieldCount>& widths) {
  for (int field = 0; field < kFieldCount; ++field) {
    report += row[field];
    if (static_cast<int64_t>(row[field].size()) < widths[field]) {
      report.append(static_cast<size_t>(widths[field]) - row[field].size(), ' ');
    }
  }
  report += "\r\n";
}

void AppendPaddedLine(std::string& report, const std::array<const char*, kFieldCount>& row,
                      const std::array<int32_t, kFieldCount>& widths) {
  std::array<std::string_view, kFieldCount> cells;
  for (int field = 0; field < kFieldCount; ++field) cells[field] = row[field];
  AppendPaddedLine(report, cells, widths);
}

}  // namespace

std::string BuildHeadAndLine(const ResultList& results, const ResultEntry* line) {
  std::string report;
  if (results.Size() == 0) return report;
  std::array<std::string_view, kFieldCount> titles;
  for (int field = 0; field < kFieldCount; ++field) titles[field] = results.At(0, field);
  std::array<int32_t, kFieldCount> widths = results.Widths();
  if (line != nullptr) {
    const auto cells = FieldsOf(*line);
    for (int field = 0; field < kFieldCount; ++field) {
      const int64_t wanted = static_cast<int64_t>(cells[field].size()) + kCellPadding;
      if (widths[field] < wanted) widths[field] = static_cast<int32_t>(wanted);
    }
  }
  AppendPaddedLine(report, titles, widths);
  int64_t ruleLength = 0;
  for (int32_t width : widths) ruleLength += width;
  report.append(static_cast<size_t>(ruleLength), '_');
  report += "\r\n";
  if (line != nullptr) AppendPaddedLine(report, FieldsOf(*line), widths);
  return report;
}

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
