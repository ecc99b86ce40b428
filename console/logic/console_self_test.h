// Judgement of the self-test: is AMSI usable on this machine?
#pragma once

#include <cstdint>
#include <string>

#include "console_scan_outcome.h"

namespace tarvex::console {

// What the engine reported after scanning the antivirus test string.
struct SelfTestFacts {
  intptr_t amsiState = 0;    // IsAmsiAvailable after the job: 0, 1 or 2
  intptr_t jobVerdict = -1;  // GetScanResult
  bool haveEntry = false;    // the job produced its one entry
  ConsoleEntry entry;
};

struct SelfTestReport {
  int exitCode = 0;  // 0 usable, 2 not usable, 5 answered without a detection
  std::string text;  // lines ending in "\r\n", in the ANSI code page
};

SelfTestReport JudgeSelfTest(const SelfTestFacts& facts);

}  // namespace tarvex::console
