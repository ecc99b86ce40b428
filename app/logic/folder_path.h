// The folder picker's answer turned into the folder argument of a scan.
#pragma once

#include <string>

namespace ostrelle {

// A lone "\" becomes the empty text, which asks for all drives; a path longer
// than 3 characters loses one trailing backslash (C:\Users\ becomes C:\Users)
// while a drive root such as "C:\" keeps it. Everything else is returned
// unchanged.
std::string NormaliseFolderPath(const std::string& pickedPath);

// What the shell told about the item chosen in the folder picker.
struct PickedFolderItem {
  bool chosen = false;          // the picker returned an item (not cancelled)
  bool pathFound = false;       // the item has a file-system path (any length)
  bool pathInAnsi = false;      // that path converts to the ANSI code page unchanged
  std::string ansiPath;         // the path in the ANSI code page, when pathInAnsi
  bool isComputerNode = false;  // the item is the computer folder, which lists the drives
};

enum class FolderChoiceKind {
  Cancelled,     // nothing to do
  Folder,        // scan the folder in path
  AllDrives,     // scan all drives
  NotScannable,  // an item that names no folder the engine can be given
};

struct FolderChoice {
  FolderChoiceKind kind;
  std::string path;  // the engine's folder argument for Folder
};

// A path that was found and converts is scanned, normalised as above (a
// drive root keeps its backslash, a folder path loses it). All drives only for the computer
// node: a file-system folder whose path could not be had, or converts only
// with changed characters, and every other item without a path (network,
// libraries, recycle bin, ...) is never turned into the all-drives walk.
FolderChoice DecideFolderChoice(const PickedFolderItem& item);

}  // namespace ostrelle
