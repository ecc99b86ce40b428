// Self-test judgement.
#include "console_self_test.h"

#include "console_scan_outcome.h"

namespace tarvex::console {
namespace {

const char* AmsiStateText(intptr_t state) {
  switch (state) {
    case 0:
      return "no AMSI context";
    case 1:
      return "AMSI context, no session";
    case 2:
      return "AMSI context and session";
  }
  return "unknown";
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

SelfTestReport JudgeSelfTest(const SelfTestFacts& facts) {
  SelfTestReport report;
  std::string& text = report.text;
  text += "AMSI state after the job: " + std::to_string(facts.amsiState) + " (" +
          AmsiStateText(facts.amsiState) + ")\r\n";
  if (!facts.haveEntry) {
    text += "Result: the engine returned no entry for the test string; AMSI cannot be judged.\r\n";
    report.exitCode = kExitNotScanned;
    return report;
  }
  const ConsoleEntry& entry = facts.entry;
  text += "Verdict on the antivirus test string: " + entry.isMalware + "\r\n";
  text += "Scanner message: " + entry.scannermessage + "\r\n";
  text += "Error number: " + entry.scannerErrornumber + "\r\n";

  const EntryOutcome outcome = ClassifyIsMalware(entry.isMalware);
  if (outcome == EntryOutcome::Detected) {
    text += "Result: AMSI is usable: the antimalware product detected the test string";
    // AmsiScanBuffer works without a session; only the correlation of scans is lost.
    text +=
        facts.amsiState == 2 ? ".\r\n" : " (without an AMSI session: AmsiOpenSession failed).\r\n";
    report.exitCode = kExitClean;
  } else if (outcome == EntryOutcome::Clean) {
    text +=
        "Result: AMSI answered, but the antimalware product did not detect the test string "
        "(real-time protection off, or no antimalware product registered with AMSI).\r\n";
    report.exitCode = kExitNotDetected;
  } else if (StartsWith(entry.isMalware, "Scan is not supported") ||
             StartsWith(entry.isMalware, "Scan wird auf diesem System nicht")) {
    text +=
        "Result: AMSI is not available: this Windows version has no AMSI, or Amsi.dll or "
        "one of its functions is missing.\r\n";
    report.exitCode = kExitNotScanned;
  } else if (facts.amsiState == 0) {
    text +=
        "Result: AMSI is not usable: AmsiInitialize failed (no working antimalware "
        "provider).\r\n";
    report.exitCode = kExitNotScanned;
  } else if (facts.amsiState == 1) {
    text += "Result: AMSI is not usable: AmsiOpenSession failed.\r\n";
    report.exitCode = kExitNotScanned;
  } else {
    text += "Result: AMSI is not usable: the antimalware product failed to scan.\r\n";
    report.exitCode = kExitNotScanned;
  }
  return report;
}

}  // namespace tarvex::console
