// CSV and JSON forms of a job's result entries, for scripts. Texts come from
// the engine in the ANSI code page and are written as UTF-8.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "console_scan_outcome.h"
#include "tarvex_names.h"

namespace tarvex::console {

// Converts an ANSI code page text to UTF-8 (MultiByteToWideChar on Windows).
using TextConverter = std::function<std::string(const std::string& ansiText)>;

// Names of the columns and JSON members, in this order: the engine's six
// field names, then "Outcome".
extern const char* const kOutputFieldNames[7];

// A header line and one line per entry (title entry excluded), RFC 4180
// quoting, CR LF line ends.
std::string FormatCsv(const std::vector<ConsoleEntry>& entries, const TextConverter& toUtf8);

// One JSON object per entry and line, members in field order.
std::string FormatJsonLines(const std::vector<ConsoleEntry>& entries, const TextConverter& toUtf8);

}  // namespace tarvex::console
