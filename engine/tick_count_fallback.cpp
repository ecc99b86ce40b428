// GetTickCount64 for the thread library that the MinGW runtime links into the
// x86 engine. That library calls GetTickCount64 through its import, which
// would make Windows refuse to load the engine where kernel32 lacks the
// function (before Vista), although the engine must load there to report the
// system as not supported. The x86 build points that import at the function
// below instead (engine/CMakeLists.txt), which calls GetTickCount64 where the
// system has it and otherwise widens GetTickCount.
#if !defined(_WIN64)

#include <windows.h>

#include <atomic>

namespace {

using TickCount64Fn = ULONGLONG(WINAPI*)();

std::atomic<TickCount64Fn> systemTickCount64{nullptr};
std::atomic<bool> systemLookedUp{false};

// GetTickCount widened to 64 bits: a smaller value than the last one means
// the 32-bit count wrapped (every 49.7 days), which holds as long as the
// function is called at least once in that time.
ULONGLONG WidenedTickCount() {
  static std::atomic_flag busy = ATOMIC_FLAG_INIT;
  static DWORD lastLow = 0;
  static DWORD high = 0;
  while (busy.test_and_set(std::memory_order_acquire)) Sleep(0);
  const DWORD low = GetTickCount();
  if (low < lastLow) ++high;
  lastLow = low;
  const ULONGLONG count = (static_cast<ULONGLONG>(high) << 32) | low;
  busy.clear(std::memory_order_release);
  return count;
}

ULONGLONG WINAPI TickCount64() {
  if (!systemLookedUp.load(std::memory_order_acquire)) {
    // Looked up without a lock: every thread finds the same address.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel != nullptr) {
      systemTickCount64.store(reinterpret_cast<TickCount64Fn>(reinterpret_cast<void*>(
                                  GetProcAddress(kernel, "GetTickCount64"))),
                              std::memory_order_relaxed);
    }
    systemLookedUp.store(true, std::memory_order_release);
  }
  const TickCount64Fn system = systemTickCount64.load(std::memory_order_relaxed);
  return system != nullptr ? system() : WidenedTickCount();
}

}  // namespace

// The import slot the runtime calls through (__imp__GetTickCount64@0 is
// defined as this variable's address at link time).
extern "C" {
extern TickCount64Fn const tarvexGetTickCount64Import;
TickCount64Fn const tarvexGetTickCount64Import = &TickCount64;
}

#endif
