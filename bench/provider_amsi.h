// The AMSI functions of the test provider beside a benchmark, called directly:
// the floor that the engine's scans are measured against.
#pragma once

#include <windows.h>

using AmsiInitializeFn = HRESULT(WINAPI*)(LPCWSTR, void**);
using AmsiScanBufferFn = HRESULT(WINAPI*)(void*, PVOID, ULONG, LPCWSTR, void*, int*);
using AmsiUninitializeFn = void(WINAPI*)(void*);

struct ProviderAmsi {
  AmsiInitializeFn initialize = nullptr;
  AmsiScanBufferFn scan = nullptr;
  AmsiUninitializeFn uninitialize = nullptr;

  // Looks the three functions up in the provider's module; true when all are there.
  bool Bind(HMODULE provider) {
    if (provider == nullptr) return false;
    initialize = Lookup<AmsiInitializeFn>(provider, "AmsiInitialize");
    scan = Lookup<AmsiScanBufferFn>(provider, "AmsiScanBuffer");
    uninitialize = Lookup<AmsiUninitializeFn>(provider, "AmsiUninitialize");
    return initialize != nullptr && scan != nullptr && uninitialize != nullptr;
  }

 private:
  template <typename Fn>
  static Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};
