// Job procedures and worker threads.
#include "job_runner.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "job_lifecycle.h"
#include "scan_verdict.h"
#include "scanners.h"
#include "stream_scanners.h"
#include "system_text.h"
#include "text_conversion.h"
#include "win32_handles.h"
#include "wow64.h"

namespace tarvex {
namespace {

void RunScanner(JobKind kind) {
  const JobParameters& job = Engine().job;
  switch (kind) {
    case JobKind::Stream:
      // The caller's path is opened as the job sees the system (wow64.h);
      // the entries name it as the caller wrote it.
      ScanStreamContentAt(PathForJob(U16FromAnsi(job.targetText)), job.targetText,
                          job.findingsOnly);
      break;
    case JobKind::FileStreams: {
      VirtualBuffer listBuffer;
      ScanFileStreamsAt(PathForJob(U16FromAnsi(job.targetText)), job.targetText, job.findingsOnly,
                        listBuffer);
      break;
    }
    case JobKind::Folder: {
      // The walk names its entries by the paths it opens.
      const std::u16string folder = U16FromAnsi(job.targetText);
      const std::u16string opened = PathForJob(folder);
      ScanFolderTree(opened == folder ? job.targetText : AnsiFromU16(opened), job.findingsOnly);
      break;
    }
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

// The texts of a job's not-scanned entries in the engine's language. reason
// is the row "Could not allocate memory!" or the system's text for errorNumber.
JobStopTexts StopTexts(bool outOfMemory, DWORD errorNumber) {
  JobStopTexts texts;
  texts.titles = TitleEntry();
  texts.notScannedWord = Text(MessageRow::VerdictNotScanned);
  texts.reason =
      outOfMemory ? std::string(Text(MessageRow::CouldNotAllocate)) : SystemErrorText(errorNumber);
  texts.stopNote = Text(MessageRow::JobStopped);
  return texts;
}

EntrySubject SubjectOfStoredJob(JobKind kind) {
  const JobParameters& job = Engine().job;
  return JobSubject(kind, job.targetText, job.secondText, job.contentName, job.processId);
}

// BeginScanJob, the scanner and EndScanJob. WOW64 file-system redirection is
// off while the scanner runs and back as the thread had it for EndScanJob.
class Win32JobSteps : public JobSteps {
 public:
  explicit Win32JobSteps(JobKind kind) : kind_(kind) {}

  void Begin() override {
    BeginScanJob();
    redirectionOff_.emplace();
  }
  void Scan() override { RunScanner(kind_); }
  void RecordStop(JobStage stage, JobFault fault) noexcept override {
    JobRecord& record = Engine().record;
    try {
      const int64_t errorNumber = ErrorNumberOf(fault);
      RecordStoppedJob(record, kind_, SubjectOfStoredJob(kind_), stage, fault,
                       StopTexts(fault == JobFault::OutOfMemory, static_cast<DWORD>(errorNumber)));
    } catch (...) {
      // No memory even for the texts: the verdict and the error number still tell.
      record.verdict =
          stage == JobStage::Begin ? kVerdictNothingScanned : VerdictOfStoppedJob(record.verdict);
      record.errorNumber = static_cast<intptr_t>(ErrorNumberOf(fault));
      if (stage == JobStage::Begin) record.results.Clear();
    }
  }
  void End() noexcept override {
    redirectionOff_.reset();
    EndScanJob();
  }

 private:
  JobKind kind_;
  std::optional<JobFsRedirectionOff> redirectionOff_;
};

void RunJob(JobKind kind) noexcept {
  Win32JobSteps steps(kind);
  RunJobFrame(steps);
}

void WaitForPreviousJob() noexcept {
  EngineState& engine = Engine();
  const UniqueHandle previous = std::move(engine.lastWorker);
  const DWORD previousId = std::exchange(engine.lastWorkerId, 0);
  if (!previous) return;
  // A job's own thread never waits for itself.
  if (previousId != GetCurrentThreadId()) WaitForSingleObject(previous.Get(), INFINITE);
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
    RunJob(start->kind);
  }
  // Drops the worker's reference last: the library may unload here.
  FreeLibraryAndExitThread(moduleReference, 0);
}

// Ends a job that could not be started: the reason is the row "Could not
// allocate memory!" (outOfMemory) or the system's text for errorNumber.
void EndJobWithoutRun(JobKind kind, const char* operation, bool outOfMemory,
                      DWORD errorNumber) noexcept {
  EngineState& engine = Engine();
  engine.scanObject.Clear();
  engine.amsi.state = AmsiState::NoContext;
  try {
    engine.amsi.sessionNote = " ";
    const JobStopTexts texts = StopTexts(outOfMemory, errorNumber);
    RecordJobNotStarted(engine.record, kind, SubjectOfStoredJob(kind), operation, texts.reason,
                        errorNumber, texts);
  } catch (...) {
    engine.record.verdict = kVerdictNothingScanned;
    engine.record.errorNumber = static_cast<intptr_t>(errorNumber);
    engine.record.results.Clear();
  }
  CloseJob();
}

}  // namespace

void StoreJob(JobParameters parameters) noexcept {
  EngineState& engine = Engine();
  WaitForPreviousJob();
  engine.job = std::move(parameters);
  engine.cancelFlag.store(0);
  engine.scanObject.Clear();
}

void StartWorker(JobKind kind) {
  UniqueLibrary moduleReference;
  SetLastError(0);
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&WorkerMain), moduleReference.Put())) {
    const DWORD error = GetLastError();
    moduleReference.Release();
    EndJobWithoutRun(kind, "GetModuleHandleExA", false, error);
    return;
  }
  auto start = std::make_unique<WorkerStart>(WorkerStart{kind, moduleReference.Get()});
  DWORD workerId = 0;
  const bool injectedFailure = PlatformCallFailsAt("CreateThread");
  SetLastError(injectedFailure ? ERROR_NOT_ENOUGH_MEMORY : 0);
  UniqueHandle worker(
      injectedFailure ? nullptr : CreateThread(nullptr, 0, WorkerMain, start.get(), 0, &workerId));
  if (!worker) {
    const DWORD createError = GetLastError();
    EndJobWithoutRun(kind, "CreateThread", false,
                     createError != 0 ? createError : ERROR_NOT_ENOUGH_MEMORY);
    return;  // start and the module reference are released here
  }
  start.release();
  moduleReference.Release();
  EngineState& engine = Engine();
  engine.lastWorker = std::move(worker);
  engine.lastWorkerId = workerId;
}

intptr_t RunStoredJob(JobKind kind) noexcept {
  RunJob(kind);
  return Engine().record.verdict;
}

void EndJobNotStarted(JobKind kind, const char* operation, JobFault fault, bool stored,
                      const JobCaller& caller, bool asynchronous) noexcept {
  if (!stored) {
    // The parameters are those of the caller alone; the strings stay empty.
    JobParameters callerOnly;
    callerOnly.asynchronous = asynchronous;
    callerOnly.callerWindow = caller.window;
    callerOnly.callerTimerProc = caller.timerProc;
    StoreJob(std::move(callerOnly));
  }
  EndJobWithoutRun(kind, operation, fault == JobFault::OutOfMemory,
                   static_cast<DWORD>(ErrorNumberOf(fault)));
}

}  // namespace tarvex
