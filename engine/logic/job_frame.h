// The frame every job runs in, and what it records when a job cannot run to
// its end: BeginScanJob, the scanner and EndScanJob may each fail (out of
// memory is the realistic case), and every job still ends with a report, an
// entry that says what was not scanned, and a verdict that never reads clean
// for data that was not scanned.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "job_record.h"
#include "result_list.h"

namespace tarvex {

// The six job procedures, by the scanner they run.
enum class JobKind { Stream, FileStreams, Folder, Processes, ProcessMemory, Buffer };

// Where a job stopped.
enum class JobStage {
  Begin,    // BeginScanJob: nothing was scanned
  Scanner,  // the scanner: what it had not reached yet was not scanned
};

// Why: an allocation failed, or anything else the code threw.
enum class JobFault { OutOfMemory, Other };

// The fault of the exception being handled; call only inside a catch block.
JobFault FaultOfCurrentException() noexcept;

// Windows error numbers of the faults: ERROR_NOT_ENOUGH_MEMORY and ERROR_INTERNAL_ERROR.
constexpr int64_t kErrorOfOutOfMemory = 8;
constexpr int64_t kErrorOfOtherFault = 1359;
int64_t ErrorNumberOf(JobFault fault);

// The steps of one job, in the order the frame calls them.
class JobSteps {
 public:
  virtual ~JobSteps() = default;
  virtual void Begin() = 0;  // BeginScanJob
  virtual void Scan() = 0;   // the job's scanner
  // Records a stop at the stage; runs before End.
  virtual void RecordStop(JobStage stage, JobFault fault) noexcept = 0;
  virtual void End() noexcept = 0;  // EndScanJob
};

// Begin, then Scan when Begin finished, then RecordStop when either threw,
// then End in every case. Nothing thrown by a step leaves the frame.
void RunJobFrame(JobSteps& steps) noexcept;

// The object a job was asked to scan, as its entries name it: the path of a
// stream, file or folder job; the wanted executable name of a process job;
// the process name and id of a process memory job; the content name, process
// name and process id text of a buffer job.
EntrySubject JobSubject(JobKind kind, const std::string& targetText, const std::string& secondText,
                        const std::string& contentName, int64_t processId);

// Name of the scanner a job runs ("ScanFolderTree", ...), named in its stop entry.
const char* ScannerName(JobKind kind);

// The verdict of a job that did not scan everything it was asked to: a
// detection stays 1; anything else becomes -1, never 0 (clean).
intptr_t VerdictOfStoppedJob(intptr_t verdict);

// What a stop entry says, in the job's language.
struct JobStopTexts {
  ResultEntry titles;          // the title entry, for a job whose Begin did not seed it
  std::string notScannedWord;  // "not scanned"
  std::string reason;          // "Could not allocate memory!" or the system's text
  std::string stopNote;        // "The job stopped here; the rest was not scanned!"
};

// Records a job that stopped at the stage: the verdict (-1 when Begin did not
// finish, else VerdictOfStoppedJob),
// the job error number (the fault's), the title entry again when Begin did not
// finish, and one not-scanned entry for the job's subject whose message is
// "<ScannerName or BeginScanJob> -> <reason> <stop note>". The entry takes the
// form of the job's own not-scanned entries: the bare word for the process
// jobs, the word and " (0)" for the others. Best effort when memory is short:
// the verdict and error number are always set; an entry that cannot be
// appended is left out, and the list stays consistent.
void RecordStoppedJob(JobRecord& record, JobKind kind, const EntrySubject& subject, JobStage stage,
                      JobFault fault, const JobStopTexts& texts) noexcept;

// Records a job that never ran because it could not be started (the export
// failed to copy its arguments, or its worker thread could not be made):
// verdict -1, the given error number, the title entry and one not-scanned
// entry "<operation> -> <reason>" for the job's subject. Best effort as above.
void RecordJobNotStarted(JobRecord& record, JobKind kind, const EntrySubject& subject,
                         const std::string& operation, const std::string& reason,
                         int64_t errorNumber, const JobStopTexts& texts) noexcept;

// The job's text report. When the whole report cannot be built (out of
// memory), the header, the rule and one line of cutNote (padded like the
// others; the widths grow where its texts need it) stand instead; when not
// even that can be built, the header and the rule; an empty text only when
// nothing at all fits. build is the full report's builder (BuildTextReport).
std::string BuildJobReport(
    ResultList& results, const std::function<bool()>& cancelled, const ResultEntry& cutNote,
    const std::function<std::string(ResultList&, const std::function<bool()>&)>& build) noexcept;

}  // namespace tarvex
