// Whole files as text, byte for byte.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

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

}  // namespace tarvex_test
