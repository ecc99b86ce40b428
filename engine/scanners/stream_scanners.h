// The stream scanners and the walker's drive probe, for the callers inside
// the engine that hold a path in UTF-16 and its ANSI text for the entries.
#pragma once

#include <cstdint>
#include <string>

#include "virtual_buffer.h"

namespace tarvex {

// Content of one file or stream; target is the entry's and scan object's text.
void ScanStreamContentAt(const std::u16string& path, const std::string& target,
                         int32_t findingsOnly);

// Every named stream of one file or folder; target is the ANSI text of path.
// listBuffer receives the stream list; a walk passes the same buffer for
// every file, so it is allocated once rather than per file.
void ScanFileStreamsAt(const std::u16string& path, const std::string& target, int32_t findingsOnly,
                       VirtualBuffer& listBuffer);

// True when the volume's information can be read; no error box for a drive
// without a medium.
bool IsScannableVolume(const char* root);

}  // namespace tarvex
