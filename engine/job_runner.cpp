// Job procedures and worker threads.
#include "job_runner.h"

#include <memory>
#include <utility>

#include "job_lifecycle.h"
#include "scanners.h"
#include "win32_handles.h"

namespace tarvex {
namespace {

void RunScanner(JobKind kind) {
  const JobParameters& job = Engine().job;
  switch (kind) {
    case JobKind::Stream:
      ScanStreamContent(job.targetText, job.findingsOnly);
      break;
    case JobKind::FileStreams:
      ScanFileStreams(job.targetText, job.findingsOnly);
      break;
    case JobKind::Folder:
      ScanFolderTree(job.targetText, job.findingsOnly);
      break;
    case JobKind::Processes:
      ScanProcesses(job.targetText, job.findingsOnly);
      break;
    case JobKind::ProcessMemory:
      ScanProcessMemory(job.processId, job.targetText, job.findingsOnly);
      break;
    case JobKind::Buffer:
      ScanBufferCore(job.contentName, job.bufferAddress, job.bufferLength, job.findingsOnly,
                     job.targetText, job.secondText);
      break;
  }
}

// BeginScanJob, the scanner, EndScanJob. A scanner that throws (out of
// memory) ends early; the job is still closed and reported.
void RunJob(JobKind kind) {
  BeginScanJob();
  try {
    RunScanner(kind);
  } catch (...) {
  }
  EndScanJob();
}

void WaitForPreviousJob() {
  const UniqueHandle previous = std::move(Engine().lastWorker);
  if (!previous) return;
  if (GetThreadId(previous.Get()) != GetCurrentThreadId()) {
    WaitForSingleObject(previous.Get(), INFINITE);
  }
}

struct WorkerStart {
  JobKind kind;
  HMODULE moduleReference;
};

DWORD WINAPI WorkerMain(LPVOID parameter) {
  HMODULE moduleReference = nullptr;
  {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    moduleReference = start->moduleReference;
    try {
      RunJob(start->kind);
    } catch (...) {
    }
  }
  // Drops the worker's reference last: the library may unload here.
  FreeLibraryAndExitThread(moduleReference, 0);
}

void Store(JobParameters parameters) {
  EngineState& engine = Engine();
  WaitForPreviousJob();
  engine.job = std::move(parameters);
  engine.cancelFlag.store(0);
}

}  // namespace

void StartAsynchronousJob(JobKind kind, JobParameters parameters) {
  parameters.asynchronous = true;
  Store(std::move(parameters));

  UniqueLibrary moduleReference;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&WorkerMain), moduleReference.Put())) {
    moduleReference.Release();
    return;
  }
  auto start = std::make_unique<WorkerStart>(WorkerStart{kind, moduleReference.Get()});
  UniqueHandle worker(CreateThread(nullptr, 0, WorkerMain, start.get(), 0, nullptr));
  if (!worker) return;  // start and the module reference are released here
  start.release();
  moduleReference.Release();
  Engine().lastWorker = std::move(worker);
}

intptr_t RunSynchronousJob(JobKind kind, JobParameters parameters) {
  parameters.asynchronous = false;
  parameters.callerWindow = nullptr;
  parameters.callerTimerProc = nullptr;
  Store(std::move(parameters));
  RunJob(kind);
  return Engine().record.verdict;
}

}  // namespace tarvex
