// One owning wrapper per release function; the invalid value is part of the type,
// so a CreateFile handle (invalid = INVALID_HANDLE_VALUE) and an OpenProcess
// handle (invalid = NULL) cannot be mixed up. Releasing keeps the thread's last
// error as it was, since the engine's error numbers are read from it.
// Each wrapper is a template instantiated where it is used, so a program links
// only the system libraries of the release functions it uses.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace tarvex {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() = default;
  explicit UniqueResource(Type value) : value_(value) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(UniqueResource&& other) noexcept
      : value_(std::exchange(other.value_, Traits::Invalid())) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.value_, Traits::Invalid()));
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Type Get() const { return value_; }
  bool Valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return Valid(); }
  // Address for an out-parameter; releases what is held first.
  Type* Put() {
    Reset();
    return &value_;
  }
  Type Release() { return std::exchange(value_, Traits::Invalid()); }
  void Reset(Type value = Traits::Invalid()) {
    if (Valid()) {
      const DWORD lastError = GetLastError();
      Traits::Close(value_);
      SetLastError(lastError);
    }
    value_ = value;
  }

 private:
  Type value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // OpenProcess, OpenProcessToken, CreateThread, CreateEvent
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { CloseHandle(value); }
};

struct FileHandleTraits {  // CreateFile, CreateToolhelp32Snapshot
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) { CloseHandle(value); }
};

struct FindHandleTraits {  // FindFirstFile
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) { FindClose(value); }
};

struct LibraryTraits {  // LoadLibrary, GetModuleHandleEx without UNCHANGED_REFCOUNT
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { FreeLibrary(value); }
};

struct RegistryKeyTraits {  // RegOpenKeyEx, RegCreateKeyEx
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { RegCloseKey(value); }
};

struct WindowTraits {  // CreateWindowEx
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { DestroyWindow(value); }
};

template <typename Pointer>
struct CoTaskMemoryTraits {  // memory the shell or COM hands out, such as an item id list
  using Type = Pointer;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { CoTaskMemFree(value); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueLibrary = UniqueResource<LibraryTraits>;
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
using UniqueWindow = UniqueResource<WindowTraits>;
template <typename Pointer>
using UniqueCoTaskMemory = UniqueResource<CoTaskMemoryTraits<Pointer>>;

// The two handles CreateProcess returns.
struct UniqueProcessInformation {
  UniqueHandle process;
  UniqueHandle thread;
  DWORD processId = 0;
  DWORD threadId = 0;

  UniqueProcessInformation() = default;
  explicit UniqueProcessInformation(const PROCESS_INFORMATION& information)
      : process(information.hProcess),
        thread(information.hThread),
        processId(information.dwProcessId),
        threadId(information.dwThreadId) {}
};

}  // namespace tarvex
