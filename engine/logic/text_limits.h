// Fixed limits of the engine's process-wide texts and helpers that keep texts within them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvex {

constexpr size_t kScanObjectMaxChars = 200001;
constexpr size_t kMessageAreaMaxChars = 1048575;
constexpr size_t kSessionNoteMaxChars = 1048575;
// Buffer handed to FormatMessageA for a system text. Windows documents a 64K
// limit for this buffer and Wine refuses 32,768 characters or more.
constexpr size_t kSystemTextBufferChars = 32767;

// Every CR LF pair becomes one blank (system texts end with CR LF).
std::string ReplaceCrLfWithBlank(std::string_view text);

// Cuts the text to at most maxChars characters.
void CutTo(std::string& text, size_t maxChars);

// Appends as much of tail as fits below maxChars.
void AppendWithin(std::string& text, std::string_view tail, size_t maxChars);

// Signed decimal text of a number.
std::string DecimalText(int64_t value);

}  // namespace tarvex
