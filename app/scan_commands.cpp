// Starting, cancelling and closing; the automatic mode's start.
#include "scan_commands.h"

#include <windows.h>

#include <mmsystem.h>

#include "app_state.h"
#include "command_line.h"
#include "dialogs.h"
#include "engine_binding.h"
#include "folder_path.h"
#include "log_file.h"
#include "main_window.h"
#include "menu_state.h"
#include "result_view.h"
#include "text_table.h"

namespace ostrelle {
namespace {

TarvexTimerProc NotificationProc() { return &ScanFinished; }

void* MainWindowArgument() { return App().mainWindow; }

// The common start of every scan; only while idle (the scan commands are
// disabled otherwise). The engine's scan export would wait for the worker of
// a job that is still ending, on this the window's only thread; the
// cancelling phase keeps every scan back until that worker has ended, so the
// export never waits here.
template <typename StartJob>
void StartScan(const std::string& typeText, StartJob startJob) {
  AppState& app = App();
  SetMenuState(ScanPhase::Running);
  SetStatusText(Text(kTextInProgress));
  AppendScanHeader(typeText);
  app.phase = ScanPhase::Running;
  startJob();
}

void ScanAllProcesses() {
  StartScan(Text(kTextTypeAllProcesses), [] {
    OSTRELLE_CALL_ENGINE(TarvexAllProcesses, MainWindowArgument(), NotificationProc(), 0);
  });
}

void ScanAllStreams() {
  App().lastFolder.clear();
  StartScan(Text(kTextTypeAllStreams), [] {
    OSTRELLE_CALL_ENGINE(TarvexAdsInFolder, MainWindowArgument(), NotificationProc(), "", 0);
  });
}

void ScanProcessesWithName() {
  const std::string name =
      AskText(App().mainWindow, Text(kTextInputDialogTitle), Text(kTextInputDialogPrompt));
  if (name.empty()) return;
  App().lastProcessName = name;
  StartScan(Text(kTextTypeProcessesWithName) + name, [] {
    OSTRELLE_CALL_ENGINE(TarvexProcessWithName, MainWindowArgument(), NotificationProc(),
                         App().lastProcessName.c_str(), 0);
  });
}

void ScanFolder() {
  const FolderChoice choice =
      DecideFolderChoice(PickFolder(App().mainWindow, Text(kTextFolderDialogTitle)));
  if (choice.kind == FolderChoiceKind::Cancelled) return;
  if (choice.kind == FolderChoiceKind::NotScannable) {
    SetStatusText(Text(kTextFolderNotScannable));
    return;
  }
  // AllDrives comes with the empty path, the engine's word for all drives.
  App().lastFolder = choice.path;
  StartScan(Text(kTextTypeFolder) + App().lastFolder, [] {
    OSTRELLE_CALL_ENGINE(TarvexAdsInFolder, MainWindowArgument(), NotificationProc(),
                         App().lastFolder.c_str(), 0);
  });
}

void ScanFile() {
  const std::string path = PickFile(App().mainWindow, Text(kTextFileDialogTitle));
  if (path.empty()) return;
  App().lastFile = path;
  StartScan(Text(kTextTypeFile) + path, [] {
    OSTRELLE_CALL_ENGINE(TarvexAdsInFile, MainWindowArgument(), NotificationProc(),
                         App().lastFile.c_str(), 0);
  });
}

// Stops the notification timer and drops notifications already waiting: a
// job whose end crossed the cancel may have armed it (or posted its message).
void DropNotifications() {
  const HWND window = App().mainWindow;
  KillTimer(window, TARVEX_NOTIFY_TIMER_ID);
  MSG message;
  while (PeekMessageA(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
  }
}

// Asks the engine to cancel the running job (the engine ignores it when no
// job of ours runs) and drops a notification that may already be armed.
void CancelRunningJob() {
  OSTRELLE_CALL_ENGINE(CancleScan, NotificationProc());
  KillTimer(App().mainWindow, TARVEX_NOTIFY_TIMER_ID);
}

}  // namespace

void RunScanCommand(int commandId) {
  switch (commandId) {
    case kCmdScanProcesses:
      ScanAllProcesses();
      break;
    case kCmdScanProcessesWithName:
      ScanProcessesWithName();
      break;
    case kCmdScanAllStreams:
      ScanAllStreams();
      break;
    case kCmdScanFolder:
      ScanFolder();
      break;
    case kCmdScanFile:
      ScanFile();
      break;
    default:
      break;
  }
}

void CancelScanCommand() {
  AppState& app = App();
  CancelRunningJob();
  AppendEndRule();
  app.phase = ScanPhase::Cancelling;
  SetMenuState(ScanPhase::Cancelling);
  SetStatusText(Text(kTextCancelling));
  // From here on the library stays loaded only while the worker runs.
  ReleaseEngine();
  EndCancellingWhenTheJobHasEnded();
}

void EndCancellingWhenTheJobHasEnded() {
  AppState& app = App();
  if (app.phase != ScanPhase::Cancelling || EngineLoadedByAnyone()) return;
  // The worker has ended: whatever it armed is in place and is dropped now.
  DropNotifications();
  LoadEngine();
  app.phase = ScanPhase::Idle;
  SetMenuState(ScanPhase::Idle);
  SetStatusText(Text(kTextScanCancelled));
}

void CloseFromMenu() {
  CancelRunningJob();
  App().quitFlag = 1;
  timeBeginPeriod(1);
  Sleep(100);
  timeEndPeriod(1);
}

void CloseRequest() {
  CancelRunningJob();
  App().quitFlag = 1;
}

void StartAutomaticModeIfAsked(const std::string& commandLine) {
  std::string logPath;
  if (!ParseAutomaticMode(commandLine, &logPath)) return;
  App().automaticStep = 1;
  App().automaticLogPath = logPath;
  ScanAllProcesses();
}

}  // namespace ostrelle
