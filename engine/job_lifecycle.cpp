// BeginScanJob, EndScanJob and the caller's notification.
#include "job_lifecycle.h"

#include <string>

#include "amsi_session.h"
#include "engine_state.h"
#include "fault_injection.h"
#include "job_frame.h"
#include "privileges.h"
#include "scan_verdict.h"
#include "tarvex.h"
#include "text_report.h"

namespace tarvex {
namespace {

// Arms the end-of-job timer on the caller's window from the job's thread.
// Windows documents SetTimer for windows of the calling thread; callers rely
// on the call from the worker, which works for a window of the same process.
// Where it fails, the same WM_TIMER that a timer with a procedure sends (the
// procedure as lParam) is posted to the window instead, so the caller is
// still told once.
void NotifyCaller(HWND window, TIMERPROC timerProc) {
  const bool injectedFailure = PlatformCallFailsAt("SetTimer");
  if (!injectedFailure &&
      SetTimer(window, TARVEX_NOTIFY_TIMER_ID, TARVEX_NOTIFY_ELAPSE_MS, timerProc) != 0) {
    return;
  }
  PostMessageA(window, WM_TIMER, TARVEX_NOTIFY_TIMER_ID, reinterpret_cast<LPARAM>(timerProc));
}

// The line that stands for the entries in a report that could not hold them.
ResultEntry ReportCutNote() {
  ResultEntry note;
  note.scannermessage = std::string("EndScanJob -> ") + Text(MessageRow::CouldNotAllocate) + " " +
                        Text(MessageRow::ReportCut);
  note.scannerErrornumber = "8";
  return note;
}

std::string BuildFullReport(ResultList& results, const std::function<bool()>& cancelled) {
  FailAllocationAt("EndScanJob");
  return BuildTextReport(results, cancelled);
}

}  // namespace

ResultEntry TitleEntry() {
  ResultEntry titles;
  titles.processName = Text(MessageRow::ProcessNameTitle);
  titles.processId = Text(MessageRow::ProcessIdTitle);
  titles.scantarget = Text(MessageRow::ScantargetTitle);
  titles.isMalware = Text(MessageRow::IsMalwareTitle);
  titles.scannermessage = Text(MessageRow::ScannermessageTitle);
  titles.scannerErrornumber = Text(MessageRow::ErrornumberTitle);
  return titles;
}

HRESULT BeginScanJob() {
  EngineState& engine = Engine();
  PauseAt("BeginScanJob");
  // Until the privileges are switched on below, the job's end leaves them alone.
  engine.debugPrivilegeWasEnabled = 1;
  engine.backupPrivilegeWasEnabled = 1;
  engine.record.errorNumber = 0;
  // A cancel that came between the export's return and this point keeps its
  // hold on the text.
  engine.scanObject.ClearKeepingHold();
  engine.amsi.sessionNote = " ";
  engine.amsi.state = AmsiState::NoContext;
  engine.successTextKnown = false;
  // The cancel flag was cleared when the export stored this job's parameters
  // (StoreJob); clearing it again here would lose a cancel that came in
  // between the export's return and this point.
  engine.debugPrivilegeWasEnabled = SetProcessPrivilege("SeDebugPrivilege", SE_PRIVILEGE_ENABLED);
  engine.backupPrivilegeWasEnabled = SetProcessPrivilege("SeBackupPrivilege", SE_PRIVILEGE_ENABLED);
  engine.record.verdict = kVerdictNothingScanned;
  FailAllocationAt("BeginScanJob");

  engine.record.results.StartWithTitles(TitleEntry());
  std::string().swap(engine.textReport);  // empty, and the last report's memory is free
  return StartAmsiSession();
}

void EndScanJob() noexcept {
  EngineState& engine = Engine();
  engine.scanObject.Clear();
  if (engine.debugPrivilegeWasEnabled == 0) SetProcessPrivilege("SeDebugPrivilege", 0);
  if (engine.backupPrivilegeWasEnabled == 0) SetProcessPrivilege("SeBackupPrivilege", 0);
  EndAmsiSession();
  CloseJob();
}

void CloseJob() noexcept {
  EngineState& engine = Engine();
  engine.scanObject.Clear();
  ResultEntry cutNote;
  try {
    cutNote = ReportCutNote();
  } catch (...) {
  }
  // The previous report goes first, so its memory is free for this one.
  std::string().swap(engine.textReport);
  engine.textReport = BuildJobReport(
      engine.record.results, [] { return CancelRequested(); }, cutNote, &BuildFullReport);
  if (!CancelRequested() && engine.job.asynchronous) {
    NotifyCaller(engine.job.callerWindow, engine.job.callerTimerProc);
  }
  engine.cancelFlag.store(0);
  // The job is over but for its thread's end.
  PauseAt("JobEnd");
}

}  // namespace tarvex
