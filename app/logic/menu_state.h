// Which menu items are enabled while idle and while a scan runs.
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

struct MenuItemState {
  int id;
  bool enabled;
};

// The states SetMenuState applies, in its order: the scan commands and the
// delete command follow idle, cancel the opposite, and the save command is
// enabled only when idle with a log text to save. Item 111 is never changed.
std::vector<MenuItemState> MenuStates(bool idle, bool logTextEmpty);

}  // namespace ostrelle
