// Building the scan header and footer of the log text.
#include "log_blocks.h"

#include "text_table.h"

namespace ostrelle {
namespace {

const char kLineEnd[] = "\r\n";

}  // namespace

std::string ScanHeader(const ScanHeaderFields& fields, int language) {
  std::string text;
  text += "Scanstart: " + fields.start.date + "   " + fields.start.time + kLineEnd;
  text += std::string(TableText(kTextOsVersionNumber, language)) + ": " + fields.currentVersion +
          "." + fields.currentBuildNumber + kLineEnd;
  text += std::string(TableText(kTextOsProductName, language)) + ": " + fields.productName + " (" +
          fields.osBitnessWord + ")" + kLineEnd;
  text += std::string(TableText(kTextTypeOfScan, language)) + ": " + fields.typeText + kLineEnd;
  text += std::string(TableText(kTextScannerVersion, language)) + ": " + fields.scannerBitnessWord +
          kLineEnd;
  return text;
}

std::string ScanFooter(const Timestamp& finished, const std::string& report, int language) {
  std::string text;
  text += std::string(TableText(kTextFinishedAt, language)) + ": " + finished.date + "   " +
          finished.time + kLineEnd;
  text += std::string(48, '_') + kLineEnd;
  text += report + kLineEnd;
  text += EndRule();
  return text;
}

std::string EndRule() { return std::string(49, '#') + kLineEnd + kLineEnd; }

}  // namespace ostrelle
