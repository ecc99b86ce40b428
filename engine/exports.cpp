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

template <typename Body>
intptr_t Guarded(Body body) {
  try {
    return body();
  } catch (...) {
    return 0;
  }
}

JobParameters CallerParameters(void* window, TarvexTimerProc timerProc, int32_t findingsOnly) {
  JobParameters parameters;
  parameters.callerWindow = static_cast<HWND>(window);
  parameters.callerTimerProc = reinterpret_cast<TIMERPROC>(timerProc);
  parameters.findingsOnly = findingsOnly;
  return parameters;
}

JobParameters BufferParameters(const char* contentName, const void* buffer, uintptr_t length,
                               const char* processName, const char* processIdText,
                               JobParameters parameters) {
  parameters.contentName = CopyText(contentName);
  parameters.bufferAddress = buffer;
  parameters.bufferLength = length;
  parameters.targetText = CopyText(processName);
  parameters.secondText = CopyText(processIdText);
  return parameters;
}

}  // namespace
}  // namespace tarvex

using namespace tarvex;

extern "C" {

intptr_t TARVEX_CALL TarvexAds(void* window, TarvexTimerProc timerProc, const char* path,
                               int32_t findingsOnly) {
  return Guarded([&] {
    JobParameters parameters = CallerParameters(window, timerProc, findingsOnly);
    parameters.targetText = CopyText(path);
    StartAsynchronousJob(JobKind::Stream, std::move(parameters));
    return intptr_t{0};
  });
}

intptr_t TARVEX_CALL TarvexAds2(const char* path, int32_t findingsOnly) {
  return Guarded([&] {
    JobParameters parameters = CallerParameters(nullptr, nullptr, findingsOnly);
    parameters.targetText = CopyText(path);
    return RunSynchronousJob(JobKind::Stream, std::move(parameters));
  });
}

intptr_t TARVEX_CALL TarvexAdsInFile(void* window, TarvexTimerProc timerProc, const char* path,
                                     int32_t findingsOnly) {
  return Guarded([&] {
    JobParameters parameters = CallerParameters(window, timerProc, findingsOnly);
    parameters.targetText = CopyText(path);
    StartAsynchronousJob(JobKind::FileStreams, std::move(parameters));
    return intptr_t{0};
  });
}

intptr_t TARVEX_CALL TarvexAdsInFolder(void* window, TarvexTimerProc timerProc,
                                       const char* folderPath, int32_t findingsOnly) {
  return Guarded([&] {
    JobParameters parameters = CallerParameters(window, timerProc, findingsOnly);
    parameters.targetText = CopyText(folderPath);
    StartAsynchronousJob(JobKind::Folder, std::move(parameters));
    return intptr_t{0};
  });
}

intptr_t TARVEX_CALL TarvexAllProcesses(void* window, TarvexTimerProc timerProc,
                                        int32_t findingsOnly) {
  return Guarded([&] {
    StartAsynchronousJob(JobKind::Processes, CallerParameters(window, timerProc, findingsOnly));
    return intptr_t{0};
  });
}

intptr_t TARVEX_CALL TarvexProcessWithName(void* window, TarvexTimerProc timerProc,
                                           const char* executableName, int32_t findingsOnly) {
  return Guarded([&] {
    JobParameters parameters = CallerParameters(window, timerProc, findingsOnly);
    parameters.targetText = CopyText(executableName);
    StartAsynchronousJob(JobKind::Processes, std::move(parameters));
    return intptr_t{0};
  });
}

intptr_t TARVEX_CALL TarvexProcessWithPid(void* window, TarvexTimerProc timerProc,
                                          intptr_t processId, const char* processName,
                                          int32_t findingsOnly) {
  return Guarded([&] {
    JobParameters parameters = CallerParameters(window, timerProc, findingsOnly);
    parameters.processId = processId;
    parameters.targetText = CopyText(processName);
    StartAsynchronousJob(JobKind::ProcessMemory, std::move(parameters));
    return intptr_t{0};
  });
}

intptr_t TARVEX_CALL TarvexBuffer(void* window, TarvexTimerProc timerProc, const char* contentName,
                                  const void* buffer, uintptr_t bufferLength, int32_t findingsOnly,
                                  const char* processName, const char* processIdText) {
  return Guarded([&] {
    StartAsynchronousJob(
        JobKind::Buffer,
        BufferParameters(contentName, buffer, bufferLength, processName, processIdText,
                         CallerParameters(window, timerProc, findingsOnly)));
    return intptr_t{0};
  });
}

intptr_t TARVEX_CALL TarvexBuffer2(const char* contentName, const void* buffer,
                                   uintptr_t bufferLength, int32_t findingsOnly,
                                   const char* processName, const char* processIdText) {
  return Guarded([&] {
    return RunSynchronousJob(
        JobKind::Buffer,
        BufferParameters(contentName, buffer, bufferLength, processName, processIdText,
                         CallerParameters(nullptr, nullptr, findingsOnly)));
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
