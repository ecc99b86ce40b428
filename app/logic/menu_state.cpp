// The menu state rule.
#include "menu_state.h"

namespace ostrelle {

std::vector<MenuItemState> MenuStates(ScanPhase phase, bool logTextEmpty) {
  const bool idle = phase == ScanPhase::Idle;
  const bool running = phase == ScanPhase::Running;
  return {
      {kCmdScanProcesses, idle}, {kCmdScanAllStreams, idle},
      {kCmdDeleteResults, idle}, {kCmdScanFolder, idle},
      {kCmdScanFile, idle},      {kCmdScanProcessesWithName, idle},
      {kCmdCancelScan, running}, {kCmdCreateLogFile, idle && !logTextEmpty},
  };
}

}  // namespace ostrelle
