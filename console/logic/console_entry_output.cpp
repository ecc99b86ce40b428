// CSV and JSON lines of the result entries.
#include "console_entry_output.h"

#include <nlohmann/json.hpp>

namespace tarvex::console {
namespace {

std::vector<std::string> Cells(const ConsoleEntry& entry, const TextConverter& toUtf8) {
  return {toUtf8(entry.processName),
          toUtf8(entry.processId),
          toUtf8(entry.scantarget),
          toUtf8(entry.isMalware),
          toUtf8(entry.scannermessage),
          toUtf8(entry.scannerErrornumber),
          OutcomeName(ClassifyIsMalware(entry.isMalware))};
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

template <typename Row>
void AppendCsvLine(std::string& out, const Row& cells) {
  bool first = true;
  for (const auto& cell : cells) {
    if (!first) out += ',';
    first = false;
    AppendCsvCell(out, cell);
  }
  out += "\r\n";
}

}  // namespace

const char* const kOutputFieldNames[7] = {TARVEX_FIELD_NAME_LIST, "Outcome"};

std::string FormatCsv(const std::vector<ConsoleEntry>& entries, const TextConverter& toUtf8) {
  std::string out;
  AppendCsvLine(
      out, std::vector<std::string>(std::begin(kOutputFieldNames), std::end(kOutputFieldNames)));
  for (const ConsoleEntry& entry : entries) AppendCsvLine(out, Cells(entry, toUtf8));
  return out;
}

std::string FormatJsonLines(const std::vector<ConsoleEntry>& entries, const TextConverter& toUtf8) {
  std::string out;
  for (const ConsoleEntry& entry : entries) {
    const std::vector<std::string> cells = Cells(entry, toUtf8);
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (size_t i = 0; i < cells.size(); ++i) object[kOutputFieldNames[i]] = cells[i];
    // A converter that leaves invalid UTF-8 behind must not stop the output.
    out += object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    out += '\n';
  }
  return out;
}

}  // namespace tarvex::console
