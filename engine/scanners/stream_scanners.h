// The stream scanners and the walker's drive probe, for the callers inside
// the engine that hold a path in UTF-16 and its ANSI text for the entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "virtual_buffer.h"

namespace tarvex {

// Content of one file or stream; target is the entry's and scan object's text.
void ScanStreamContentAt(const std::u16string& path, const std::string& target,
                         int32_t findingsOnly);

// Every named stream of one file or folder, found by the stream query. path is
// what the file functions get, target the text of entries and scan object.
// listBuffer receives the stream list; a walk passes the same buffer for
// every file, so it is allocated once rather than per file.
void ScanFileStreamsAt(const std::u16string& path, const std::string& target, int32_t findingsOnly,
                       VirtualBuffer& listBuffer);

// The named streams of one file or folder known without asking it: each
// suffix (":name", as the stream query's records give it) is joined to path
// and target and the stream's content scanned, as ScanFileStreamsAt does for
// the streams it finds.
void ScanKnownStreamsAt(const std::u16string& path, const std::string& target,
                        const std::vector<std::u16string>& suffixes, int32_t findingsOnly);

// True when the volume's information can be read; no error box for a drive
// without a medium.
bool IsScannableVolume(const char* root);

}  // namespace tarvex
