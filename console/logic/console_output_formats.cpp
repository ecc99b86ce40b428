// JSON Lines, CSV and report lines of the run records.
#include "console_output_formats.h"

#include <nlohmann/json.hpp>

#include "console_text.h"

namespace tarvex::console {
namespace {

using Json = nlohmann::ordered_json;

Json NumberOrNull(const std::optional<int64_t>& value) {
  return value ? Json(*value) : Json(nullptr);
}

// One line; a text that is not valid UTF-8 gets U+FFFD instead of stopping the output.
std::string Line(const Json& record) {
  return record.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json ObjectJson(const ObjectRecord& object) {
  Json json = Json::object();
  json["Record"] = "object";
  json["ProcessName"] = object.processName;
  json["ProcessID"] = NumberOrNull(object.processId);
  json["Scantarget"] = object.scantarget;
  json["IsMalware"] = object.isMalware;
  json["AmsiResult"] = NumberOrNull(object.amsiResult);
  json["Outcome"] = OutcomeName(object.outcome);
  json["Scannermessage"] = object.scannermessage;
  json["ScannerErrornumber"] = NumberOrNull(object.scannerErrornumber);
  return json;
}

Json RunStartJson(const RunStart& start) {
  Json json = Json::object();
  json["Record"] = "run_start";
  json["SchemaVersion"] = kSchemaVersion;
  json["Program"] = start.program;
  json["ProgramVersion"] = start.programVersion;
  json["EngineVersion"] = start.engineVersion;
  json["Host"] = start.host;
  json["User"] = start.user;
  json["StartTime"] = start.startTime;
  json["Command"] = start.command;
  json["Target"] = start.target;
  json["FindingsOnly"] = start.findingsOnly;
  return json;
}

Json RunEndJson(const RunEnd& end) {
  Json json = Json::object();
  json["Record"] = "run_end";
  json["SchemaVersion"] = kSchemaVersion;
  json["EndTime"] = end.endTime;
  json["Detected"] = end.counts.detected;
  json["Clean"] = end.counts.clean;
  json["NotScanned"] = end.counts.notScanned;
  json["Partial"] = end.partial;
  json["ExitCode"] = end.exitCode;
  return json;
}

void AppendCsvCell(std::string& line, const std::string& cell) {
  if (cell.find_first_of(",\"\r\n") == std::string::npos) {
    line += cell;
    return;
  }
  line += '"';
  for (char c : cell) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

std::string CsvCell(const Json& value) {
  if (value.is_null()) return std::string();
  if (value.is_string()) return value.get<std::string>();
  return value.dump();  // numbers, true, false
}

// One row: each column's member of the record, empty where it has none.
std::string CsvLine(const Json& record) {
  std::string line;
  for (size_t column = 0; column < kCsvColumns.size(); ++column) {
    if (column > 0) line += ',';
    const auto member = record.find(kCsvColumns[column]);
    if (member != record.end()) AppendCsvCell(line, CsvCell(*member));
  }
  return line + "\n";
}

void Pad(std::string& line, const std::string& cell, size_t widthChars) {
  line += cell;
  const size_t chars = Utf8CharCount(cell);
  if (chars < widthChars) line.append(widthChars - chars, ' ');
}

}  // namespace

std::string JsonRunStartLine(const RunStart& start) { return Line(RunStartJson(start)); }
std::string JsonObjectLine(const ObjectRecord& object) { return Line(ObjectJson(object)); }
std::string JsonRunEndLine(const RunEnd& end) { return Line(RunEndJson(end)); }

const std::array<const char*, 25> kCsvColumns = {
    "Record",        "ProcessName",    "ProcessID",
    "Scantarget",    "IsMalware",      "AmsiResult",
    "Outcome",       "Scannermessage", "ScannerErrornumber",
    "SchemaVersion", "Program",        "ProgramVersion",
    "EngineVersion", "Host",           "User",
    "StartTime",     "Command",        "Target",
    "FindingsOnly",  "EndTime",        "Detected",
    "Clean",         "NotScanned",     "Partial",
    "ExitCode"};

std::string CsvHeaderLine() {
  std::string line;
  for (size_t column = 0; column < kCsvColumns.size(); ++column) {
    if (column > 0) line += ',';
    line += kCsvColumns[column];
  }
  return line + "\n";
}

std::string CsvRunStartLine(const RunStart& start) { return CsvLine(RunStartJson(start)); }
std::string CsvObjectLine(const ObjectRecord& object) { return CsvLine(ObjectJson(object)); }
std::string CsvRunEndLine(const RunEnd& end) { return CsvLine(RunEndJson(end)); }

void ReportLayout::Widen(const ReportCells& cells) {
  for (size_t field = 0; field < cells.size(); ++field) {
    const size_t width = Utf8CharCount(cells[field]) + 3;
    if (widthChars_[field] < width) widthChars_[field] = width;
  }
}

std::string ReportLayout::HeaderAndRule(const ReportCells& titles) const {
  std::string text = Line(titles);
  size_t ruleChars = 0;
  for (size_t width : widthChars_) ruleChars += width;
  text.append(ruleChars, '_');
  return text + "\r\n";
}

std::string ReportLayout::Line(const ReportCells& cells) const {
  std::string line;
  for (size_t field = 0; field < cells.size(); ++field) Pad(line, cells[field], widthChars_[field]);
  return line + "\r\n";
}

ReportCells ReportCellsOf(const ConsoleEntry& entry, const TextConverter& toUtf8) {
  return {toUtf8(entry.processName),    toUtf8(entry.processId),
          toUtf8(entry.scantarget),     toUtf8(entry.isMalware),
          toUtf8(entry.scannermessage), toUtf8(entry.scannerErrornumber)};
}

}  // namespace tarvex::console
