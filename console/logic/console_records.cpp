// Object records from result entries, and the time format of the run records.
#include "console_records.h"

#include <cstdio>

#include "console_text.h"

namespace tarvex::console {

ObjectRecord MakeObjectRecord(const ConsoleEntry& entry, const TextConverter& toUtf8) {
  ObjectRecord record;
  record.processName = toUtf8(entry.processName);
  record.processId = ParseDecimal(entry.processId);
  record.scantarget = toUtf8(entry.scantarget);
  record.isMalware = toUtf8(entry.isMalware);
  record.outcome = ClassifyIsMalware(entry.isMalware);
  record.amsiResult = AmsiResultOf(entry.isMalware, record.outcome);
  record.scannermessage = TrimBlanks(toUtf8(entry.scannermessage));
  record.scannerErrornumber = ParseDecimal(entry.scannerErrornumber);
  return record;
}

std::string Iso8601Utc(const UtcTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return text;
}

std::string VersionText(unsigned major, unsigned minor, unsigned patch, unsigned build) {
  std::string text =
      std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
  if (build != 0) text += "." + std::to_string(build);
  return text;
}

}  // namespace tarvex::console
