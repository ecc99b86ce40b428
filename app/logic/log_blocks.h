// The blocks of the log text: the scan header, the scan footer and the end
// rule. Every line ends with CR LF; labels come from the text table.
#pragma once

#include <string>

#include "timestamp.h"

namespace ostrelle {

// What the scan header shows besides its labels.
struct ScanHeaderFields {
  Timestamp start;
  std::string currentVersion;      // registry value "CurrentVersion"
  std::string currentBuildNumber;  // registry value "CurrentBuildNumber"
  std::string productName;         // registry value "ProductName"
  std::string osBitnessWord;
  std::string typeText;  // the scan type, a path or name already appended
  std::string scannerBitnessWord;
};

// Five lines: start time, version number, product name with the system's
// bitness, scan type, scanner bitness.
std::string ScanHeader(const ScanHeaderFields& fields, int language);

// Completion time, a rule of 48 "_", the engine's report, then the end rule.
std::string ScanFooter(const Timestamp& finished, const std::string& report, int language);

// 49 "#" and an empty line: closes every block, and alone a cancelled one.
std::string EndRule();

}  // namespace ostrelle
