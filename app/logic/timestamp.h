// Date and time texts of the log: 05.12.2026 and 19:21.
#pragma once

#include <string>

namespace ostrelle {

struct LocalTimeParts {
  int year;
  int month;
  int day;
  int hour;
  int minute;
};

struct Timestamp {
  std::string date;  // day and month with two digits, year without leading zeros
  std::string time;  // 24-hour clock, hour and minute with two digits, no seconds
};

Timestamp MakeTimestampText(const LocalTimeParts& parts);

}  // namespace ostrelle
