// Running scan jobs: on a worker thread per asynchronous job, or on the
// caller's thread for the synchronous exports. Jobs never overlap.
#pragma once

#include "engine_state.h"

namespace tarvex {

enum class JobKind { Stream, FileStreams, Folder, Processes, ProcessMemory, Buffer };

// Waits for the previous job's worker, stores the parameters, clears the
// cancel flag and starts a worker thread for the job. The worker holds its own
// reference to the engine library, so the library is not unloaded under it.
void StartAsynchronousJob(JobKind kind, JobParameters parameters);

// Waits for the previous job's worker, stores the parameters and runs the job
// on the calling thread; returns the job verdict.
intptr_t RunSynchronousJob(JobKind kind, JobParameters parameters);

}  // namespace tarvex
