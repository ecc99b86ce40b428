// ScanFolderTree: not built yet; the job frame around it runs and notifies.
#include "scanners.h"

namespace tarvex {

void ScanFolderTree(const std::string& folderPath, int32_t findingsOnly) {
  (void)folderPath;
  (void)findingsOnly;
}

}  // namespace tarvex
