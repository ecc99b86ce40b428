// Running scan jobs: on a worker thread per asynchronous job, or on the
// caller's thread for the synchronous exports. Jobs never overlap.
//
// Every job ends, whatever fails: a job whose frame or scanner fails is ended
// by the frame (job_frame.h); a job that cannot even be started (its
// arguments cannot be copied, its worker cannot be made) is ended at once on
// the calling thread, with a result list of the title entry and one
// not-scanned entry naming the failure, a report, the verdict -1 and, for an
// asynchronous job, the caller's timer armed as at the end of any job.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

#include "engine_state.h"
#include "fault_injection.h"
#include "job_frame.h"

namespace tarvex {

// The window and timer procedure an asynchronous export was called with.
struct JobCaller {
  HWND window = nullptr;
  TIMERPROC timerProc = nullptr;
};

// Waits for the previous job's worker, then makes parameters the current
// job's, clears the cancel flag and ends a cancel's hold on the scan object text.
void StoreJob(JobParameters parameters) noexcept;

// Starts the worker of the stored asynchronous job. The worker holds its own
// reference to the engine library, so the library is not unloaded under it.
// When the worker cannot be made, the job is ended on the calling thread.
void StartWorker(JobKind kind);

// Runs the stored job on the calling thread; returns the job verdict.
intptr_t RunStoredJob(JobKind kind) noexcept;

// Ends, on the calling thread, a job that could not be started. stored tells
// whether the job's parameters were stored; when they were not, the caller's
// window and procedure are stored on their own, so the caller is still told.
void EndJobNotStarted(JobKind kind, const char* operation, JobFault fault, bool stored,
                      const JobCaller& caller, bool asynchronous) noexcept;

// An asynchronous scan export: fill(parameters) copies the export's
// arguments; the job is stored and its worker started. Never throws.
template <typename Fill>
void StartAsynchronousJob(const char* exportName, JobKind kind, const JobCaller& caller,
                          Fill fill) noexcept {
  bool stored = false;
  try {
    ResetFaultCounts();
    JobParameters parameters;
    parameters.asynchronous = true;
    parameters.callerWindow = caller.window;
    parameters.callerTimerProc = caller.timerProc;
    fill(parameters);
    FailAllocationAt("ExportArguments");
    StoreJob(std::move(parameters));
    stored = true;
    StartWorker(kind);
  } catch (...) {
    EndJobNotStarted(kind, exportName, FaultOfCurrentException(), stored, caller, true);
  }
}

// A synchronous scan export: the job runs on the caller's thread; returns its
// verdict, and -1 when it could not be run at all. Never throws.
template <typename Fill>
intptr_t RunSynchronousJob(const char* exportName, JobKind kind, Fill fill) noexcept {
  try {
    ResetFaultCounts();
    JobParameters parameters;
    fill(parameters);
    FailAllocationAt("ExportArguments");
    StoreJob(std::move(parameters));
  } catch (...) {
    EndJobNotStarted(kind, exportName, FaultOfCurrentException(), false, JobCaller{}, false);
    return Engine().record.verdict;
  }
  return RunStoredJob(kind);
}

}  // namespace tarvex
