// Image path lookup of the process memory scan.
#include "process_image_path.h"

#include <vector>

#include "scanners/logic/process_names.h"

namespace tarvex {

std::string ImagePathOrGivenName(HANDLE process, const std::string& givenName,
                                 QueryImageNameFunction queryImageName) {
  if (queryImageName == nullptr) return givenName;
  std::vector<char> buffer(kImageNameBufferLength, '\0');
  DWORD capacityChars = kImageNameCapacityChars;
  // The result is not examined: an empty buffer keeps the given name.
  queryImageName(process, 0, buffer.data(), &capacityChars);
  buffer.back() = '\0';
  return NameForEntries(givenName, std::string(buffer.data()));
}

}  // namespace tarvex
