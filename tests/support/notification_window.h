// A real window on the test thread that receives the engine's end-of-job timer
// through a timer procedure, with a message pump that gives up after a timeout.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "tarvex.h"

namespace tarvex_test {

class NotificationWindow {
 public:
  NotificationWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TarvexTestNotificationWindow";
    RegisterClassA(&windowClass);  // a second registration fails harmlessly
    window_ = CreateWindowExA(0, windowClass.lpszClassName, "tarvex test", WS_OVERLAPPEDWINDOW, 0,
                              0, 100, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ownerThread_ = GetCurrentThreadId();
    current_ = this;
    calls_ = 0;
  }
  ~NotificationWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
    current_ = nullptr;
  }
  NotificationWindow(const NotificationWindow&) = delete;
  NotificationWindow& operator=(const NotificationWindow&) = delete;

  HWND Handle() const { return window_; }
  void* Window() const { return window_; }

  // The timer procedure to hand to the engine: kills the timer, as a caller must.
  static void TARVEX_CALL TimerProc(void* window, unsigned int message, uintptr_t timerId,
                                    unsigned long) {
    NotificationWindow* self = current_;
    if (self == nullptr) return;
    KillTimer(static_cast<HWND>(window), timerId);
    self->lastMessage_ = message;
    self->lastTimerId_ = timerId;
    self->calledOnOwnerThread_ = GetCurrentThreadId() == self->ownerThread_;
    self->calls_++;
  }
  // Another procedure: the key that does not match a job started with TimerProc.
  static void TARVEX_CALL OtherTimerProc(void*, unsigned int, uintptr_t, unsigned long) {}

  // Pumps messages until the timer procedure has run, or the timeout passes.
  bool WaitForNotification(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (calls_ == 0 && GetTickCount64() < deadline) {
      Pump(20);
    }
    return calls_ > 0;
  }

  // Pumps messages for the given time; returns the number of notifications so far.
  int PumpFor(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (GetTickCount64() < deadline) Pump(20);
    return calls_;
  }

  int Calls() const { return calls_; }
  uintptr_t LastTimerId() const { return lastTimerId_; }
  unsigned int LastMessage() const { return lastMessage_; }
  bool CalledOnOwnerThread() const { return calledOnOwnerThread_; }
  void ResetCalls() { calls_ = 0; }

 private:
  static void Pump(DWORD waitMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  static inline NotificationWindow* current_ = nullptr;
  HWND window_ = nullptr;
  DWORD ownerThread_ = 0;
  std::atomic<int> calls_{0};
  uintptr_t lastTimerId_ = 0;
  unsigned int lastMessage_ = 0;
  bool calledOnOwnerThread_ = false;
};

}  // namespace tarvex_test
