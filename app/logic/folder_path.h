// The folder picker's answer turned into the folder argument of a scan.
#pragma once

#include <string>

namespace ostrelle {

// A lone "\" (an item without a file-system path) becomes the empty text,
// which asks for all drives; a path longer than 3 characters loses one
// trailing backslash (C:\Users\ becomes C:\Users) while a drive root such
// as "C:\" keeps it. Everything else is returned unchanged.
std::string NormaliseFolderPath(const std::string& pickedPath);

}  // namespace ostrelle
