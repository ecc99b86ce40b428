// The scan commands, cancel, close and the automatic mode.
#pragma once

#include <string>

namespace ostrelle {

// Menu commands 103, 104, 107, 108 and 109, with their dialogs.
void RunScanCommand(int commandId);

// Menu command 106: asks the engine to cancel and enters the cancelling
// phase, in which no scan starts until the cancelled job's worker has ended.
void CancelScanCommand();

// Every progress tick while cancelling: when the cancelled job's worker has
// ended, binds the engine again and returns to idle ("Scan was cancled!").
void EndCancellingWhenTheJobHasEnded();

// Menu command 111: cancel, quit, and a short pause for the ending job.
void CloseFromMenu();

// WM_CLOSE: cancel and quit.
void CloseRequest();

// At start-up: the automatic mode when the command line asks for it.
void StartAutomaticModeIfAsked(const std::string& commandLine);

}  // namespace ostrelle
