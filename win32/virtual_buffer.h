// A zero-filled buffer straight from VirtualAlloc: fresh pages are zero, so a
// large stream buffer costs no fill pass, and pages never touched cost nothing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

namespace tarvex {

class VirtualBuffer {
 public:
  VirtualBuffer() = default;
  // An empty buffer (Data() == nullptr) when the memory is not available.
  explicit VirtualBuffer(size_t length)
      : data_(static_cast<unsigned char*>(
            VirtualAlloc(nullptr, length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))),
        length_(data_ != nullptr ? length : 0) {}
  ~VirtualBuffer() { Release(); }
  VirtualBuffer(VirtualBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), length_(std::exchange(other.length_, 0)) {}
  VirtualBuffer& operator=(VirtualBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = std::exchange(other.data_, nullptr);
      length_ = std::exchange(other.length_, 0);
    }
    return *this;
  }
  VirtualBuffer(const VirtualBuffer&) = delete;
  VirtualBuffer& operator=(const VirtualBuffer&) = delete;

  unsigned char* Data() const { return data_; }
  size_t Length() const { return length_; }

 private:
  // Keeps the thread's last error: the engine's error numbers are read from it.
  void Release() {
    if (data_ == nullptr) return;
    const DWORD lastError = GetLastError();
    VirtualFree(data_, 0, MEM_RELEASE);
    SetLastError(lastError);
    data_ = nullptr;
    length_ = 0;
  }

  unsigned char* data_ = nullptr;
  size_t length_ = 0;
};

}  // namespace tarvex
