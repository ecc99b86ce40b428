// The stream scanners and the walker's drive probe, for the callers inside
// the engine that hold a path in UTF-16 and its ANSI text for the entries.
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {

// Content of one file or stream; target is the entry's and scan object's text.
void ScanStreamContentAt(const std::u16string& path, const std::string& target,
                         int32_t findingsOnly);

// Every named stream of one file or folder; target is the ANSI text of path.
void ScanFileStreamsAt(const std::u16string& path, const std::string& target,
                       int32_t findingsOnly);

// True when the volume's information can be read; no error box for a drive
// without a medium.
bool IsScannableVolume(const char* root);

}  // namespace tarvex
