// BeginScanJob and EndScanJob.
#include "job_lifecycle.h"

#include "amsi_session.h"
#include "engine_state.h"
#include "privileges.h"
#include "scan_verdict.h"
#include "tarvex.h"
#include "text_report.h"

namespace tarvex {

HRESULT BeginScanJob() {
  EngineState& engine = Engine();
  engine.record.errorNumber = 0;
  engine.scanObject.Clear();
  engine.amsi.sessionNote = " ";
  engine.amsi.state = AmsiState::NoContext;
  // The cancel flag was cleared when the export stored this job's parameters
  // (job_runner.cpp); clearing it again here would lose a cancel that came in
  // between the export's return and this point.
  engine.debugPrivilegeWasEnabled = SetProcessPrivilege("SeDebugPrivilege", SE_PRIVILEGE_ENABLED);
  engine.backupPrivilegeWasEnabled = SetProcessPrivilege("SeBackupPrivilege", SE_PRIVILEGE_ENABLED);
  engine.record.verdict = kVerdictNothingScanned;

  ResultEntry titles;
  titles.processName = Text(MessageRow::ProcessNameTitle);
  titles.processId = Text(MessageRow::ProcessIdTitle);
  titles.scantarget = Text(MessageRow::ScantargetTitle);
  titles.isMalware = Text(MessageRow::IsMalwareTitle);
  titles.scannermessage = Text(MessageRow::ScannermessageTitle);
  titles.scannerErrornumber = Text(MessageRow::ErrornumberTitle);
  engine.record.results.StartWithTitles(titles);
  engine.textReport.clear();
  return StartAmsiSession();
}

const std::string& EndScanJob() {
  EngineState& engine = Engine();
  engine.scanObject.Clear();
  if (engine.debugPrivilegeWasEnabled == 0) SetProcessPrivilege("SeDebugPrivilege", 0);
  if (engine.backupPrivilegeWasEnabled == 0) SetProcessPrivilege("SeBackupPrivilege", 0);
  EndAmsiSession();
  engine.textReport = BuildTextReport(engine.record.results, [] { return CancelRequested(); });
  if (!CancelRequested() && engine.job.asynchronous) {
    SetTimer(engine.job.callerWindow, TARVEX_NOTIFY_TIMER_ID, TARVEX_NOTIFY_ELAPSE_MS,
             engine.job.callerTimerProc);
  }
  engine.cancelFlag.store(0);
  return engine.textReport;
}

}  // namespace tarvex
