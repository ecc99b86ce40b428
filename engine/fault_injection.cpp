// Fault points of the fault-injection test build (see fault_injection.h);
// nothing of this file is in the shipped library.
#if defined(TARVEX_FAULT_INJECTION)

#include "fault_injection.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "win32_handles.h"

namespace tarvex {
namespace {

std::atomic<long> armedPointHits{0};

std::string Variable(const char* name) {
  char value[512] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// True at the chosen hit of the point TARVEX_FAULT names.
bool ChosenHit(const char* point) {
  const DWORD lastError = GetLastError();
  const std::string armed = Variable("TARVEX_FAULT");
  SetLastError(lastError);
  const size_t colon = armed.find(':');
  if (armed.compare(0, colon, point) != 0) return false;
  const long chosen = colon == std::string::npos ? 1 : std::atol(armed.c_str() + colon + 1);
  return ++armedPointHits == chosen;
}

bool NamedIn(const std::string& list, const char* point) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    if (list.compare(start, end - start, point) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string EventName(const char* what) {
  return std::string("tarvex-fault-") + what + "-" + std::to_string(GetCurrentProcessId());
}

}  // namespace

void FailAllocationAt(const char* point) {
  if (ChosenHit(point)) throw std::bad_alloc();
}

bool PlatformCallFailsAt(const char* point) { return ChosenHit(point); }

void PauseAt(const char* point) noexcept {
  const DWORD lastError = GetLastError();
  try {
    if (NamedIn(Variable("TARVEX_FAULT_PAUSE"), point)) {
      const UniqueHandle paused(CreateEventA(nullptr, FALSE, FALSE, EventName("paused").c_str()));
      const UniqueHandle resume(CreateEventA(nullptr, FALSE, FALSE, EventName("resume").c_str()));
      if (paused && resume) {
        SetEvent(paused.Get());
        WaitForSingleObject(resume.Get(), 60000);
      }
    }
  } catch (...) {
    // No memory for the names: the thread goes on without pausing.
  }
  SetLastError(lastError);
}

void ResetFaultCounts() { armedPointHits = 0; }

}  // namespace tarvex

#endif
