// Scan object text: bounded, always terminated, safe to poll from another thread.
#include "scan_object_text.h"

#include <cstring>

namespace tarvex {
namespace {

class WriterTurn {
 public:
  explicit WriterTurn(std::atomic_flag& flag) : flag_(flag) {
    while (flag_.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~WriterTurn() { flag_.clear(std::memory_order_release); }
  WriterTurn(const WriterTurn&) = delete;
  WriterTurn& operator=(const WriterTurn&) = delete;

 private:
  std::atomic_flag& flag_;
};

}  // namespace

ScanObjectText::ScanObjectText() { std::memset(buffer_, 0, sizeof buffer_); }

void ScanObjectText::Set(std::string_view text) {
  const size_t length = text.size() < kScanObjectMaxChars ? text.size() : kScanObjectMaxChars;
  WriterTurn turn(writing_);
  if (held_) return;
  // Terminate at the new length first, so a reader sees at worst a shortened
  // old text or a mix of old and new characters, never an unterminated one.
  buffer_[length] = '\0';
  std::atomic_thread_fence(std::memory_order_release);
  std::memcpy(buffer_, text.data(), length);
}

void ScanObjectText::Clear() {
  WriterTurn turn(writing_);
  held_ = false;
  buffer_[0] = '\0';
  std::atomic_thread_fence(std::memory_order_release);
  std::memset(buffer_, 0, kScanObjectMaxChars);
}

void ScanObjectText::ClearKeepingHold() {
  WriterTurn turn(writing_);
  buffer_[0] = '\0';
  std::atomic_thread_fence(std::memory_order_release);
  std::memset(buffer_, 0, kScanObjectMaxChars);
}

void ScanObjectText::ClearAndHold() {
  WriterTurn turn(writing_);
  held_ = true;
  buffer_[0] = '\0';
  std::atomic_thread_fence(std::memory_order_release);
  std::memset(buffer_, 0, kScanObjectMaxChars);
}

}  // namespace tarvex
