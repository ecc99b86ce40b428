// Switching a privilege of the process token on or off for the time of a job.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tarvex {

// Sets the privilege's attributes (SE_PRIVILEGE_ENABLED or 0) in the process
// token. Returns 1 when the privilege was already enabled before the change.
int32_t SetProcessPrivilege(const char* privilegeName, DWORD attributes);

}  // namespace tarvex
