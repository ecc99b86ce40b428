// ScanProcesses: not built yet; the job frame around it runs and notifies.
#include "scanners.h"

namespace tarvex {

void ScanProcesses(const std::string& executableName, int32_t findingsOnly) {
  (void)executableName;
  (void)findingsOnly;
}

}  // namespace tarvex
