// The extended-length form ("\\?\") in which the console program checks its
// targets and opens its --out file, so that paths of more than 260
// characters work without the system's long-path setting.
#pragma once

#include <string>

namespace tarvex::console {

// True for "\\?\..." and "\\.\..." paths, which the system takes literally.
bool HasDevicePrefix(const std::u16string& path);

// The extended-length form of a full, normalised path (what GetFullPathNameW
// returns): "C:\x" -> "\\?\C:\x", "\\server\share\x" -> "\\?\UNC\server\share\x".
// Prefixed paths, and paths that are neither (a relative path the system
// could not complete), come back unchanged.
std::u16string ExtendedLengthPath(const std::u16string& fullPath);

}  // namespace tarvex::console
