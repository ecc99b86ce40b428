// Whole files as text, byte for byte.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "win32_handles.h"

namespace tarvex_test {

// The file's bytes; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Creates or replaces the file (an ANSI path, "file:stream" included) with the
// given bytes; false when it cannot be written whole.
inline bool WriteWholeFile(const std::string& path, const std::string& content) {
  const tarvex::UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return content.empty() || (WriteFile(file.Get(), content.data(),
                                       static_cast<DWORD>(content.size()), &written, nullptr) &&
                             written == content.size());
}

// The lines of a text whose lines end in CR LF (the engine's report); a last
// line without CR LF is kept.
inline std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace tarvex_test
