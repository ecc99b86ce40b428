// NtQueryInformationFile with the stream information class: the one
// undocumented call the stream scan needs. It has no import library in every
// toolchain; ntdll is loaded in every process, so it is looked up there.
#pragma once

#include <windows.h>

namespace tarvex {

struct IoStatusBlock {
  union {
    LONG status;
    PVOID pointer;
  };
  ULONG_PTR information;  // bytes written
};

using NtQueryInformationFileFn = LONG(NTAPI*)(HANDLE file, IoStatusBlock* ioStatus,
                                              PVOID information, ULONG length,
                                              int informationClass);

// FILE_INFORMATION_CLASS FileStreamInformation: FILE_STREAM_INFORMATION records.
constexpr int kFileStreamInformation = 22;

// The function from ntdll, looked up once per module; null when it is missing.
inline NtQueryInformationFileFn StreamQuery() {
  static const NtQueryInformationFileFn query = [] {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return NtQueryInformationFileFn{};
    return reinterpret_cast<NtQueryInformationFileFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")));
  }();
  return query;
}

}  // namespace tarvex
