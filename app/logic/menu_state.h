// Which menu items are enabled while idle, while a scan runs and while a
// cancelled scan is still ending.
#pragma once

#include <vector>

namespace ostrelle {

// Menu command ids.
enum CommandId : int {
  kCmdCreateLogFile = 102,
  kCmdScanProcesses = 103,
  kCmdScanAllStreams = 104,
  kCmdDeleteResults = 105,
  kCmdCancelScan = 106,
  kCmdScanFolder = 107,
  kCmdScanFile = 108,
  kCmdScanProcessesWithName = 109,
  kCmdClose = 111,
};

// Where the application stands with its engine job.
enum class ScanPhase {
  Idle,
  // From the start of a scan until its results are in.
  Running,
  // After the cancel command, until the cancelled job's worker has ended: the
  // engine allows one job at a time, so no scan may start before.
  Cancelling,
};

struct MenuItemState {
  int id;
  bool enabled;
};

// The states SetMenuState applies, in its order: the scan commands and the
// delete command are enabled only while idle, cancel only while a scan runs,
// and the save command only while idle with a log text to save. Item 111 is
// never changed.
std::vector<MenuItemState> MenuStates(ScanPhase phase, bool logTextEmpty);

}  // namespace ostrelle
