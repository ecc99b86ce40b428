// Text helpers for bounded engine texts.
#include "text_limits.h"

namespace tarvex {

std::string ReplaceCrLfWithBlank(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out.push_back(' ');
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

void CutTo(std::string& text, size_t maxChars) {
  if (text.size() > maxChars) text.resize(maxChars);
}

void AppendWithin(std::string& text, std::string_view tail, size_t maxChars) {
  if (text.size() >= maxChars) {
    CutTo(text, maxChars);
    return;
  }
  const size_t room = maxChars - text.size();
  text.append(tail.substr(0, room));
}

std::string DecimalText(int64_t value) { return std::to_string(value); }

}  // namespace tarvex
