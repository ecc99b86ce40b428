// Reading and setting the debug and backup privileges of the test process's token.
#pragma once

#include <windows.h>

#include "win32_handles.h"

namespace tarvex_test {

inline bool PrivilegeEnabled(const char* name) {
  LUID luid{};
  LookupPrivilegeValueA(nullptr, name, &luid);
  tarvex::UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) {
    token.Release();
    return false;
  }
  PRIVILEGE_SET set{};
  set.PrivilegeCount = 1;
  set.Privilege[0].Luid = luid;
  set.Privilege[0].Attributes = SE_PRIVILEGE_ENABLED;
  BOOL held = FALSE;
  PrivilegeCheck(token.Get(), &set, &held);
  return held != FALSE;
}

// Switches the privilege on or off; true when the token then reads so.
inline bool SetPrivilege(const char* name, bool enabled) {
  LUID luid{};
  LookupPrivilegeValueA(nullptr, name, &luid);
  tarvex::UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put())) {
    token.Release();
    return false;
  }
  TOKEN_PRIVILEGES change{};
  change.PrivilegeCount = 1;
  change.Privileges[0].Luid = luid;
  change.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
  AdjustTokenPrivileges(token.Get(), FALSE, &change, 0, nullptr, nullptr);
  token.Reset();
  return PrivilegeEnabled(name) == enabled;
}

}  // namespace tarvex_test
