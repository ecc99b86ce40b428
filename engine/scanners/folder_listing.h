// The listing of one folder for the walk, in the system's order.
#pragma once

#include <functional>
#include <string>

#include "scanners/logic/folder_walk.h"
#include "virtual_buffer.h"

namespace tarvex {

// Hands the entries of the folder at platformPath to onEntry until it returns
// false. With file references the folder is opened and listed by handle
// (FileIdBothDirectoryInfo: the same directory query as the find functions,
// in the same order, plus each entry's file id), with recordBuffer kept for
// the next folder; without, the wide find functions list it and report no
// file references. False when the listing cannot be started.
bool ListFolderEntries(const std::u16string& platformPath, bool withFileReferences,
                       VirtualBuffer& recordBuffer,
                       const std::function<bool(const FolderEntry&)>& onEntry);

}  // namespace tarvex
