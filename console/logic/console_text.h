// Small text helpers of the console program's output: UTF-8 lengths, trimming,
// strict decimal numbers and the sign of a name the code page could not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex::console {

// Number of characters (code points) of a UTF-8 text: bytes that do not
// continue a sequence. Invalid bytes count one each.
size_t Utf8CharCount(std::string_view text);

// Length of the text without a UTF-8 sequence that is cut off at its end,
// so that a buffer can be converted piece by piece.
size_t CompleteUtf8Length(std::string_view text);

// The text without blanks, tabs, CR and LF at either end.
std::string TrimBlanks(std::string_view text);

// A signed decimal number as the engine writes it: an optional '-' and 1 to
// 19 digits, nothing else; nullopt for anything else or a value beyond int64.
std::optional<int64_t> ParseDecimal(std::string_view text);

// True when a file, stream or process name shows a character its code page
// could not hold: the system writes such a character as '?', which no file
// name may contain. The "\\?\" and "\\.\" prefixes of a path do not count.
bool ShowsLostCharacter(std::string_view name);

}  // namespace tarvex::console
