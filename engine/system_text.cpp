// FormatMessageA, LsaNtStatusToWinError and GetVersionExA.
#include "system_text.h"

#include <ntsecapi.h>

#include <vector>

#include "scan_verdict.h"
#include "text_limits.h"

namespace tarvex {

std::string SystemErrorText(DWORD errorNumber) {
  std::vector<char> buffer(kSystemTextBufferChars + 1, '\0');
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                      nullptr, errorNumber, 0, buffer.data(),
                                      static_cast<DWORD>(kSystemTextBufferChars), nullptr);
  if (length == 0) return std::string();
  return ReplaceCrLfWithBlank(std::string_view(buffer.data(), length));
}

DWORD TranslateStatus(HRESULT status) {
  return LsaNtStatusToWinError(static_cast<NTSTATUS>(status));
}

namespace {

struct VersionReport {
  bool ok = false;
  OSVERSIONINFOA info{};
};

VersionReport QueryVersion() {
  VersionReport report;
  report.info.dwOSVersionInfoSize = sizeof report.info;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
  report.ok = GetVersionExA(&report.info) != FALSE;
  return report;
}

}  // namespace

bool SystemSupportsAmsi() {
  const VersionReport v = QueryVersion();
  return IsAmsiSupportedVersion(v.ok, v.info.dwPlatformId, v.info.dwMajorVersion,
                                v.info.dwMinorVersion);
}

bool SystemNewerThanWindows2000() {
  const VersionReport v = QueryVersion();
  return IsNewerThanWindows2000(v.ok, v.info.dwPlatformId, v.info.dwMajorVersion,
                                v.info.dwMinorVersion);
}

}  // namespace tarvex
