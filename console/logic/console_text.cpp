// Text helpers of the console output.
#include "console_text.h"

namespace tarvex::console {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

size_t Utf8CharCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

size_t CompleteUtf8Length(std::string_view text) {
  // Look back over at most three continuation bytes for the lead byte.
  size_t lead = text.size();
  for (size_t back = 1; back <= 4 && back <= text.size(); ++back) {
    const unsigned char c = static_cast<unsigned char>(text[text.size() - back]);
    if ((c & 0xC0) == 0x80) continue;
    lead = text.size() - back;
    const size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return back < needed ? lead : text.size();
  }
  return text.size();  // no lead byte near the end: invalid bytes, passed on as they are
}

std::string TrimBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::optional<int64_t> ParseDecimal(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (value > limit) return std::nullopt;
  if (negative) return value == limit ? INT64_MIN : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

bool ShowsLostCharacter(std::string_view name) {
  if (StartsWith(name, "\\\\?\\") || StartsWith(name, "\\\\.\\")) name.remove_prefix(4);
  return name.find('?') != std::string_view::npos;
}

}  // namespace tarvex::console
