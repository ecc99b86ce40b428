// The progress line shown on a console's standard error while a job runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvex::console {

// "<n> entries  <object>", exactly widthChars characters: a long object name
// keeps its end (the file or stream name) behind "...", a short line is
// padded with blanks so it covers a longer previous one. entryCount is the
// number of entries so far, title entry excluded (negative counts as 0).
std::string ProgressLine(const std::string& scanObject, intptr_t entryCount, size_t widthChars);

}  // namespace tarvex::console
