// Reading and setting the debug and backup privileges of the test process's token.
#pragma once

#include <windows.h>

namespace tarvex_test {

inline bool PrivilegeEnabled(const char* name) {
  LUID luid{};
  LookupPrivilegeValueA(nullptr, name, &luid);
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  PRIVILEGE_SET set{};
  set.PrivilegeCount = 1;
  set.Privilege[0].Luid = luid;
  set.Privilege[0].Attributes = SE_PRIVILEGE_ENABLED;
  BOOL held = FALSE;
  PrivilegeCheck(token, &set, &held);
  CloseHandle(token);
  return held != FALSE;
}

// Switches the privilege on or off; true when the token then reads so.
inline bool SetPrivilege(const char* name, bool enabled) {
  LUID luid{};
  LookupPrivilegeValueA(nullptr, name, &luid);
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
  TOKEN_PRIVILEGES change{};
  change.PrivilegeCount = 1;
  change.Privileges[0].Luid = luid;
  change.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
  AdjustTokenPrivileges(token, FALSE, &change, 0, nullptr, nullptr);
  CloseHandle(token);
  return PrivilegeEnabled(name) == enabled;
}

}  // namespace tarvex_test
