// Which snapshot entries a process job scans, and which name its entries carry.
#pragma once

#include <string>

namespace tarvex {

// The system's ANSI upper-casing (CharUpperA in the engine) of a copy of a text.
using UpperCaseFunction = std::string (*)(std::string text);

// An empty wanted name selects every process. Otherwise both names are
// upper-cased and compared whole, byte for byte: no prefix match, no
// wildcard, no path, so "name" does not select "name.exe".
bool IsProcessSelected(const std::string& wantedName, const std::string& executableName,
                       UpperCaseFunction upperCase);

// Name that a scanned process's entries carry: the image path the system
// reported when it is not empty, else the name the scan was called with.
std::string NameForEntries(const std::string& givenName, const std::string& imagePath);

}  // namespace tarvex
