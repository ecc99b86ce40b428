// Full image path of an opened process, through QueryFullProcessImageNameA
// when the system has it (the engine looks it up at load; Windows before
// Vista lacks it).
#pragma once

#include <windows.h>

#include <string>

namespace tarvex {

using QueryImageNameFunction = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPSTR name, PDWORD size);

// Buffer and capacity of the lookup: the buffer is cleared before each call,
// and the capacity handed to the system, in characters, is smaller than it.
constexpr size_t kImageNameBufferLength = 200004;
constexpr DWORD kImageNameCapacityChars = 580;

// The Win32 path of the process's executable, or the given name when the
// function is missing or yields no text.
std::string ImagePathOrGivenName(HANDLE process, const std::string& givenName,
                                 QueryImageNameFunction queryImageName);

}  // namespace tarvex
