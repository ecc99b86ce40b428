// The menu state rule.
#include "menu_state.h"

namespace ostrelle {

std::vector<MenuItemState> MenuStates(bool idle, bool logTextEmpty) {
  return {
      {kCmdScanProcesses, idle}, {kCmdScanAllStreams, idle},
      {kCmdDeleteResults, idle}, {kCmdScanFolder, idle},
      {kCmdScanFile, idle},      {kCmdScanProcessesWithName, idle},
      {kCmdCancelScan, !idle},   {kCmdCreateLogFile, idle && !logTextEmpty},
  };
}

}  // namespace ostrelle
