// Process selection by executable name.
#include "process_names.h"

namespace tarvex {

bool IsProcessSelected(const std::string& wantedName, const std::string& executableName,
                       UpperCaseFunction upperCase) {
  if (wantedName.empty()) return true;
  return upperCase(executableName) == upperCase(wantedName);
}

std::string NameForEntries(const std::string& givenName, const std::string& imagePath) {
  return imagePath.empty() ? givenName : imagePath;
}

}  // namespace tarvex
