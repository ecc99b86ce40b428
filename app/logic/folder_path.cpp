// Folder path normalisation for the folder command.
#include "folder_path.h"

namespace ostrelle {

std::string NormaliseFolderPath(const std::string& pickedPath) {
  if (pickedPath == "\\") return std::string();
  if (pickedPath.size() > 3 && pickedPath.back() == '\\') {
    return pickedPath.substr(0, pickedPath.size() - 1);
  }
  return pickedPath;
}

}  // namespace ostrelle
