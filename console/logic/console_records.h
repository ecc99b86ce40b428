// The records of one run as scripts get them (schema version 1,
// docs/output.md): run_start, one object record per result entry, run_end.
// Texts are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "console_scan_outcome.h"

namespace tarvex::console {

constexpr int kSchemaVersion = 1;

// Converts an engine text (ANSI code page) to UTF-8.
using TextConverter = std::function<std::string(const std::string& ansiText)>;

struct RunStart {
  std::string program;         // "OstrelleCmd64.exe"
  std::string programVersion;  // "1.0.0"
  std::string engineVersion;   // from the engine's VERSIONINFO; empty when it has none
  std::string host;
  std::string user;       // "DOMAIN\name"
  std::string startTime;  // UTC, ISO 8601 with "Z"
  std::string command;    // "folder", "pid", ...
  std::string target;     // path, name, process id or content name; empty for none
  bool findingsOnly = false;
};

struct ObjectRecord {
  std::string processName;
  std::optional<int64_t> processId;  // none where the entry has no process
  std::string scantarget;
  std::string isMalware;              // the engine's verdict text as it is
  std::optional<int64_t> amsiResult;  // see AmsiResultOf
  EntryOutcome outcome = EntryOutcome::NotScanned;
  std::string scannermessage;                 // trimmed
  std::optional<int64_t> scannerErrornumber;  // none only when the engine wrote no number
};

struct RunEnd {
  std::string endTime;
  OutcomeCounts counts;
  bool partial = false;  // cancelled: only what was found so far
  int exitCode = 0;
};

ObjectRecord MakeObjectRecord(const ConsoleEntry& entry, const TextConverter& toUtf8);

struct UtcTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// "2026-12-10T12:00:00Z".
std::string Iso8601Utc(const UtcTime& time);

// A file version as the build writes it: "1.2.3", with ".4" when the fourth
// part is not 0.
std::string VersionText(unsigned major, unsigned minor, unsigned patch, unsigned build);

}  // namespace tarvex::console
