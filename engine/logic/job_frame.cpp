// The job frame: the order of the steps and what a job that could not run to
// its end records.
#include "job_frame.h"

#include <new>
#include <utility>

#include "not_scanned.h"
#include "scan_verdict.h"
#include "text_limits.h"
#include "text_report.h"

namespace tarvex {
namespace {

bool IsProcessJob(JobKind kind) {
  return kind == JobKind::Processes || kind == JobKind::ProcessMemory;
}

// The not-scanned entry of a job: the bare word for the process jobs (as the
// process memory scan's own failures), the word and " (0)" for the others.
void AppendJobEntry(JobRecord& record, JobKind kind, const EntrySubject& subject,
                    std::string operation, std::string reason, const JobStopTexts& texts) {
  NotScannedCause cause;
  cause.verdictWord = texts.notScannedWord;
  cause.form = IsProcessJob(kind) ? NotScannedForm::BareWord : NotScannedForm::WordAndResult;
  cause.operation = std::move(operation);
  cause.reason = std::move(reason);
  AppendNotScannedEntry(record.results, subject, cause, record.errorNumber);
}

}  // namespace

JobFault FaultOfCurrentException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return JobFault::OutOfMemory;
  } catch (...) {
    return JobFault::Other;
  }
}

int64_t ErrorNumberOf(JobFault fault) {
  return fault == JobFault::OutOfMemory ? kErrorOfOutOfMemory : kErrorOfOtherFault;
}

void RunJobFrame(JobSteps& steps) noexcept {
  bool begun = false;
  try {
    steps.Begin();
    begun = true;
    steps.Scan();
  } catch (...) {
    steps.RecordStop(begun ? JobStage::Scanner : JobStage::Begin, FaultOfCurrentException());
  }
  steps.End();
}

EntrySubject JobSubject(JobKind kind, const std::string& targetText, const std::string& secondText,
                        const std::string& contentName, int64_t processId) {
  switch (kind) {
    case JobKind::Processes:
      return {targetText, std::string(), std::string()};
    case JobKind::ProcessMemory:
      return {targetText, DecimalText(processId), std::string()};
    case JobKind::Buffer:
      return {targetText, secondText, contentName};
    default:
      return {std::string(), std::string(), targetText};
  }
}

const char* ScannerName(JobKind kind) {
  switch (kind) {
    case JobKind::Stream:
      return "ScanStreamContent";
    case JobKind::FileStreams:
      return "ScanFileStreams";
    case JobKind::Folder:
      return "ScanFolderTree";
    case JobKind::Processes:
      return "ScanProcesses";
    case JobKind::ProcessMemory:
      return "ScanProcessMemory";
    default:
      return "ScanBufferCore";
  }
}

intptr_t VerdictOfStoppedJob(intptr_t verdict) {
  return verdict == kVerdictDetected ? kVerdictDetected : kVerdictNothingScanned;
}

void RecordStoppedJob(JobRecord& record, JobKind kind, const EntrySubject& subject, JobStage stage,
                      JobFault fault, const JobStopTexts& texts) noexcept {
  // Begin may have stopped before it replaced the previous job's verdict and
  // entries; nothing of this job was scanned then.
  record.verdict =
      stage == JobStage::Begin ? kVerdictNothingScanned : VerdictOfStoppedJob(record.verdict);
  record.errorNumber = static_cast<intptr_t>(ErrorNumberOf(fault));
  if (stage == JobStage::Begin) record.results.Clear();
  try {
    if (stage == JobStage::Begin) record.results.StartWithTitles(texts.titles);
    std::string reason = texts.reason;
    reason += ' ';
    reason += texts.stopNote;
    AppendJobEntry(record, kind, subject,
                   stage == JobStage::Begin ? "BeginScanJob" : ScannerName(kind), std::move(reason),
                   texts);
  } catch (...) {
  }
}

void RecordJobNotStarted(JobRecord& record, JobKind kind, const EntrySubject& subject,
                         const std::string& operation, const std::string& reason,
                         int64_t errorNumber, const JobStopTexts& texts) noexcept {
  record.verdict = kVerdictNothingScanned;
  record.errorNumber = static_cast<intptr_t>(errorNumber);
  record.results.Clear();
  try {
    record.results.StartWithTitles(texts.titles);
    AppendJobEntry(record, kind, subject, operation, reason, texts);
  } catch (...) {
  }
}

std::string BuildJobReport(
    ResultList& results, const std::function<bool()>& cancelled, const ResultEntry& cutNote,
    const std::function<std::string(ResultList&, const std::function<bool()>&)>& build) noexcept {
  try {
    return build(results, cancelled);
  } catch (...) {
  }
  try {
    return BuildHeadAndLine(results, &cutNote);
  } catch (...) {
  }
  try {
    return BuildHeadAndLine(results, nullptr);
  } catch (...) {
  }
  return std::string();
}

}  // namespace tarvex
