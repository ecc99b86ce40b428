// Formatting of the log's date and time texts.
#include "timestamp.h"

namespace ostrelle {
namespace {

std::string TwoDigits(int value) {
  std::string text = std::to_string(value);
  if (text.size() < 2) text.insert(0, 2 - text.size(), '0');
  return text;
}

}  // namespace

Timestamp MakeTimestampText(const LocalTimeParts& parts) {
  Timestamp stamp;
  stamp.date =
      TwoDigits(parts.day) + "." + TwoDigits(parts.month) + "." + std::to_string(parts.year);
  stamp.time = TwoDigits(parts.hour) + ":" + TwoDigits(parts.minute);
  return stamp;
}

}  // namespace ostrelle
