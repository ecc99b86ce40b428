// ScanProcessMemory: not built yet; the job frame around it runs and notifies.
#include "scanners.h"

namespace tarvex {

void ScanProcessMemory(intptr_t processId, const std::string& processName, int32_t findingsOnly) {
  (void)processId;
  (void)processName;
  (void)findingsOnly;
}

}  // namespace tarvex
