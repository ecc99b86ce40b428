// The system's own texts, as the engine puts them into entries.
#pragma once

#include <windows.h>
#include <ntsecapi.h>

#include <string>

namespace tarvex_test {

// FormatMessageA text (flags 0x10FF, language 0) with CR LF pairs turned into blanks.
inline std::string SystemText(DWORD errorNumber) {
  char buffer[32767] = {};
  const DWORD length =
      FormatMessageA(0x10FF, nullptr, errorNumber, 0, buffer, sizeof buffer - 1, nullptr);
  std::string text(buffer, length);
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.replace(at, 2, " ");
  }
  return text;
}

inline DWORD Translated(HRESULT status) {
  return LsaNtStatusToWinError(static_cast<NTSTATUS>(status));
}

}  // namespace tarvex_test
