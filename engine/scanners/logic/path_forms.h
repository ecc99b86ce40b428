// Paths of the walker and the stream scanners: entry paths, stream paths and
// the long-path form ("\\?\") that lets the wide file functions pass 260 characters.
#pragma once

#include <cstddef>
#include <string>

namespace tarvex {

// Length from which a path needs the long-path form: the plain form stops at
// 260 characters including the terminator.
constexpr size_t kPlainPathMaxChars = 259;

// The folder's path, a backslash unless it already ends in one, and the name.
std::u16string EntryPath(const std::u16string& folderPath, const std::u16string& name);

// Listing pattern of a folder: its path, a backslash unless it already ends
// in one, and "*".
std::u16string ListingPattern(const std::u16string& folderPath);

// True for "\\?\..." and "\\.\..." paths, which the system takes literally.
bool HasDevicePrefix(const std::u16string& path);

// True when the path is too long for the plain form and not yet in a prefixed form.
bool NeedsLongPathForm(const std::u16string& path);

// The long-path form of a full path: "C:\x" -> "\\?\C:\x", "\\server\share\x"
// -> "\\?\UNC\server\share\x"; forward slashes become backslashes, since the
// prefixed form is not normalised. Prefixed and relative paths come back unchanged.
std::u16string LongPathForm(const std::u16string& fullPath);

}  // namespace tarvex
