// SetProcessPrivilege: PrivilegeCheck before AdjustTokenPrivileges, so the
// answer tells the state the job found.
#include "privileges.h"

#include "system_text.h"
#include "win32_handles.h"

namespace tarvex {

int32_t SetProcessPrivilege(const char* privilegeName, DWORD attributes) {
  LUID luid{};
  LookupPrivilegeValueA(nullptr, privilegeName, &luid);

  UniqueHandle adjustToken;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, adjustToken.Put())) {
    adjustToken.Release();
  }

  int32_t wasEnabled = 0;
  if (SystemNewerThanWindows2000()) {
    UniqueHandle queryToken;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, queryToken.Put())) {
      PRIVILEGE_SET check{};
      check.PrivilegeCount = 1;
      check.Control = 0;
      check.Privilege[0].Luid = luid;
      check.Privilege[0].Attributes = attributes;
      BOOL held = FALSE;
      if (PrivilegeCheck(queryToken.Get(), &check, &held) && held) wasEnabled = 1;
    } else {
      queryToken.Release();
    }
  }

  TOKEN_PRIVILEGES change{};
  change.PrivilegeCount = 1;
  change.Privileges[0].Luid = luid;
  change.Privileges[0].Attributes = attributes;
  AdjustTokenPrivileges(adjustToken.Get(), FALSE, &change, 0, nullptr, nullptr);
  return wasEnabled;
}

}  // namespace tarvex
