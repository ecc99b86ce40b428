// The 18 exports. Nothing thrown inside the engine crosses this boundary.
#define TARVEX_BUILDING_ENGINE
#include "tarvex.h"

#include "engine_state.h"
#include "job_runner.h"

namespace tarvex {
namespace {

std::string CopyText(const char* text) {
  return text == nullptr ? std::string() : std::string(text);
}

// Getters that copy a text answer 0 when memory runs out.
template <typename Body>
intptr_t Guarded(Body body) {
  try {
    return body();
  } catch (...) {
    return 0;
  }
}

JobCaller CallerOf(void* window, TarvexTimerProc timerProc) {
  return JobCaller{static_cast<HWND>(window), reinterpret_cast<TIMERPROC>(timerProc)};
}

void CopyBufferArguments(JobParameters& parameters, const char* contentName, const void* buffer,
                         uintptr_t length, const char* processName, const char* processIdText) {
  parameters.contentName = CopyText(contentName);
  parameters.bufferAddress = buffer;
  parameters.bufferLength = length;
  parameters.targetText = CopyText(processName);
  parameters.secondText = CopyText(processIdText);
}

}  // namespace
}  // namespace tarvex

using namespace tarvex;

extern "C" {

// The scan exports. The asynchronous ones return 0 whatever happens: a job
// that cannot be started ends at once with an entry saying so and the
// caller's timer (job_runner.h). The synchronous ones return the job verdict,
// which is -1, never 0, when the job could not be run or stopped early.

intptr_t TARVEX_CALL TarvexAds(void* window, TarvexTimerProc timerProc, const char* path,
                               int32_t findingsOnly) {
  StartAsynchronousJob("TarvexAds", JobKind::Stream, CallerOf(window, timerProc),
                       [&](JobParameters& parameters) {
                         parameters.findingsOnly = findingsOnly;
                         parameters.targetText = CopyText(path);
                       });
  return 0;
}

intptr_t TARVEX_CALL TarvexAds2(const char* path, int32_t findingsOnly) {
  return RunSynchronousJob("TarvexAds2", JobKind::Stream, [&](JobParameters& parameters) {
    parameters.findingsOnly = findingsOnly;
    parameters.targetText = CopyText(path);
  });
}

intptr_t TARVEX_CALL TarvexAdsInFile(void* window, TarvexTimerProc timerProc, const char* path,
                                     int32_t findingsOnly) {
  StartAsynchronousJob("TarvexAdsInFile", JobKind::FileStreams, CallerOf(window, timerProc),
                       [&](JobParameters& parameters) {
                         parameters.findingsOnly = findingsOnly;
                         parameters.targetText = CopyText(path);
                       });
  return 0;
}

intptr_t TARVEX_CALL TarvexAdsInFolder(void* window, TarvexTimerProc timerProc,
                                       const char* folderPath, int32_t findingsOnly) {
  StartAsynchronousJob("TarvexAdsInFolder", JobKind::Folder, CallerOf(window, timerProc),
                       [&](JobParameters& parameters) {
                         parameters.findingsOnly = findingsOnly;
                         parameters.targetText = CopyText(folderPath);
                       });
  return 0;
}

intptr_t TARVEX_CALL TarvexAllProcesses(void* window, TarvexTimerProc timerProc,
                                        int32_t findingsOnly) {
  StartAsynchronousJob("TarvexAllProcesses", JobKind::Processes, CallerOf(window, timerProc),
                       [&](JobParameters& parameters) { parameters.findingsOnly = findingsOnly; });
  return 0;
}

intptr_t TARVEX_CALL TarvexProcessWithName(void* window, TarvexTimerProc timerProc,
                                           const char* executableName, int32_t findingsOnly) {
  StartAsynchronousJob("TarvexProcessWithName", JobKind::Processes, CallerOf(window, timerProc),
                       [&](JobParameters& parameters) {
                         parameters.findingsOnly = findingsOnly;
                         parameters.targetText = CopyText(executableName);
                       });
  return 0;
}

intptr_t TARVEX_CALL TarvexProcessWithPid(void* window, TarvexTimerProc timerProc,
                                          intptr_t processId, const char* processName,
                                          int32_t findingsOnly) {
  StartAsynchronousJob("TarvexProcessWithPid", JobKind::ProcessMemory, CallerOf(window, timerProc),
                       [&](JobParameters& parameters) {
                         parameters.findingsOnly = findingsOnly;
                         parameters.processId = processId;
                         parameters.targetText = CopyText(processName);
                       });
  return 0;
}

intptr_t TARVEX_CALL TarvexBuffer(void* window, TarvexTimerProc timerProc, const char* contentName,
                                  const void* buffer, uintptr_t bufferLength, int32_t findingsOnly,
                                  const char* processName, const char* processIdText) {
  StartAsynchronousJob("TarvexBuffer", JobKind::Buffer, CallerOf(window, timerProc),
                       [&](JobParameters& parameters) {
                         parameters.findingsOnly = findingsOnly;
                         CopyBufferArguments(parameters, contentName, buffer, bufferLength,
                                             processName, processIdText);
                       });
  return 0;
}

intptr_t TARVEX_CALL TarvexBuffer2(const char* contentName, const void* buffer,
                                   uintptr_t bufferLength, int32_t findingsOnly,
                                   const char* processName, const char* processIdText) {
  return RunSynchronousJob("TarvexBuffer2", JobKind::Buffer, [&](JobParameters& parameters) {
    parameters.findingsOnly = findingsOnly;
    CopyBufferArguments(parameters, contentName, buffer, bufferLength, processName, processIdText);
  });
}

intptr_t TARVEX_CALL CancleScan(TarvexTimerProc timerProc) {
  EngineState& engine = Engine();
  if (reinterpret_cast<TIMERPROC>(timerProc) == engine.job.callerTimerProc) {
    engine.cancelFlag.store(1);
    engine.scanObject.ClearAndHold();
  }
  return 0;
}

intptr_t TARVEX_CALL IsAmsiAvailable(void) { return static_cast<intptr_t>(Engine().amsi.state); }

intptr_t TARVEX_CALL GetScanObject(void) {
  return reinterpret_cast<intptr_t>(Engine().scanObject.Data());
}

intptr_t TARVEX_CALL GetScanResult(void) { return Engine().record.verdict; }

intptr_t TARVEX_CALL GetScanfile(void) {
  return reinterpret_cast<intptr_t>(Engine().textReport.c_str());
}

intptr_t TARVEX_CALL GetScanfileLength(void) {
  return static_cast<intptr_t>(Engine().textReport.size());
}

intptr_t TARVEX_CALL GetScanlistEntry(const char* fieldName) {
  return Guarded([&] {
    const int field = ResultList::FieldFromName(fieldName);
    if (field < 0) return intptr_t{-1};
    return reinterpret_cast<intptr_t>(Engine().record.results.Next(field));
  });
}

intptr_t TARVEX_CALL GetScanlistSize(void) {
  return static_cast<intptr_t>(Engine().record.results.Size());
}

intptr_t TARVEX_CALL SetScanlistToStart(void) {
  Engine().record.results.SetToStart();
  return 0;
}

}  // extern "C"
