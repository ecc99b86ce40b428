// The pause points of the engine's fault-injection test build: a job's thread
// named in TARVEX_FAULT_PAUSE stops at such a point until the test lets it go
// on (engine/fault_injection.h), so a test acts at a known step of the job
// instead of at a moment it hopes to meet.
#pragma once

#include <windows.h>

#include <string>

#include "win32_handles.h"

namespace tarvex_test {

// Paused at a point of the job's thread until Resume.
class PausedJob {
 public:
  PausedJob()
      : paused_(CreateEventA(nullptr, FALSE, FALSE, Name("paused").c_str())),
        resume_(CreateEventA(nullptr, FALSE, FALSE, Name("resume").c_str())) {}
  // The engine's thread waits at most a minute for Resume.
  bool WaitUntilPaused(DWORD timeoutMs = 60000) const {
    return WaitForSingleObject(paused_.Get(), timeoutMs) == WAIT_OBJECT_0;
  }
  void Resume() const { SetEvent(resume_.Get()); }

 private:
  static std::string Name(const char* what) {
    return std::string("tarvex-fault-") + what + "-" + std::to_string(GetCurrentProcessId());
  }
  tarvex::UniqueHandle paused_;
  tarvex::UniqueHandle resume_;
};

}  // namespace tarvex_test
