// Fault points for the engine's fault-injection test build. The shipped
// library is built without TARVEX_FAULT_INJECTION: every point is then an
// empty inline function and the library holds no hook at all.
//
// In the test build, the environment variable TARVEX_FAULT names one point
// and, after a colon, which of its hits fails ("ScanStreamContent:2": the
// second; the first when no number is given). Hits are counted from the
// start of each job (ResetFaultCounts, called by the scan exports).
// TARVEX_FAULT_PAUSE names points, separated by commas, at which the job's
// thread stops until the test lets it go on: it sets the event
// "tarvex-fault-paused-<process id>" and waits (at most a minute) for
// "tarvex-fault-resume-<process id>", both auto-reset events.
#pragma once

namespace tarvex {

#if defined(TARVEX_FAULT_INJECTION)

// Throws std::bad_alloc at the chosen hit of the point.
void FailAllocationAt(const char* point);
// True at the chosen hit of the point: the caller acts as if its platform
// call had failed.
bool PlatformCallFailsAt(const char* point);
// Stops the thread here when the point is named in TARVEX_FAULT_PAUSE.
void PauseAt(const char* point) noexcept;
void ResetFaultCounts();

#else

inline void FailAllocationAt(const char*) {}
inline bool PlatformCallFailsAt(const char*) { return false; }
inline void PauseAt(const char*) noexcept {}
inline void ResetFaultCounts() {}

#endif

}  // namespace tarvex
