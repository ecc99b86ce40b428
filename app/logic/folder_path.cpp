// The folder command's decision and path normalisation.
#include "folder_path.h"

namespace ostrelle {

std::string NormaliseFolderPath(const std::string& pickedPath) {
  if (pickedPath == "\\") return std::string();
  if (pickedPath.size() > 3 && pickedPath.back() == '\\') {
    return pickedPath.substr(0, pickedPath.size() - 1);
  }
  return pickedPath;
}

FolderChoice DecideFolderChoice(const PickedFolderItem& item) {
  if (!item.chosen) return {FolderChoiceKind::Cancelled, std::string()};
  if (item.pathFound) {
    if (!item.pathInAnsi || item.ansiPath.empty()) {
      return {FolderChoiceKind::NotScannable, std::string()};
    }
    std::string path = item.ansiPath;
    if (path.back() != '\\') path += '\\';
    path = NormaliseFolderPath(path);
    // The empty text would ask for all drives.
    if (path.empty()) return {FolderChoiceKind::NotScannable, std::string()};
    return {FolderChoiceKind::Folder, path};
  }
  if (item.isComputerNode) return {FolderChoiceKind::AllDrives, std::string()};
  return {FolderChoiceKind::NotScannable, std::string()};
}

}  // namespace ostrelle
