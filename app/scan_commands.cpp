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

// The common start of every scan. The engine's scan export waits for the
// worker of a job that is still ending (after a cancel) before it starts the
// new job, so jobs never overlap even when this follows a cancel at once.
template <typename StartJob>
void StartScan(const std::string& typeText, StartJob startJob) {
  AppState& app = App();
  SetMenuState(0);
  SetStatusText(Text(kTextInProgress));
  AppendScanHeader(typeText);
  app.scanRunning = true;
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
  const std::string picked = PickFolder(App().mainWindow, Text(kTextFolderDialogTitle));
  if (picked.empty()) return;
  App().lastFolder = NormaliseFolderPath(picked);
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

// Asks the engine to cancel the running job (the engine ignores it when no
// job of ours runs) and drops a notification that may already be armed.
void CancelRunningJob() {
  OSTRELLE_CALL_ENGINE(CancleScan, NotificationProc());
  KillTimer(App().mainWindow, TARVEX_NOTIFY_TIMER_ID);
  App().scanRunning = false;
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
  CancelRunningJob();
  AppendEndRule();
  SetStatusText(Text(kTextScanCancelled));
  SetMenuState(1);
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
