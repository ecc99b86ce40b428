// Demonstration caller: loads the engine by file name, scans a few buffers
// synchronously and one asynchronously, and prints each job's verdict and the
// engine's text report. With the test provider beside it (amsi.dll) the
// antivirus test string is detected; with the system's AMSI the answer is the
// system's own.
//
// It uses only the engine's public headers: tarvex.h (the exports),
// tarvex_loader.h (loading and resolving) and tarvex_test_string.h.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tarvex_loader.h"
#include "tarvex_test_string.h"

namespace {

tarvex::EngineLibrary g_engine;
bool g_notified = false;

void PrintReport(const char* title, intptr_t verdict) {
  std::printf("== %s: verdict %d, AMSI state %d\n", title, static_cast<int>(verdict),
              static_cast<int>(g_engine.IsAmsiAvailable()));
  const std::string report(reinterpret_cast<const char*>(g_engine.GetScanfile()),
                           static_cast<size_t>(g_engine.GetScanfileLength()));
  std::fwrite(report.data(), 1, report.size(), stdout);
  std::printf("\n");
}

// The end of an asynchronous job: the engine's timer on our window. The caller
// kills the timer; the results are ready to read.
void TARVEX_CALL ScanFinished(void* window, unsigned int, uintptr_t timerId, unsigned long) {
  KillTimer(static_cast<HWND>(window), timerId);
  g_notified = true;
}

// Pumps this thread's messages until the job has notified, or the time is up.
bool WaitForNotification(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!g_notified && GetTickCount() - start < timeoutMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  return g_notified;
}

}  // namespace

int main() {
  if (!g_engine.Load()) {
    std::printf("%s could not be loaded\n", TARVEX_ENGINE_FILE_NAME);
    return 3;
  }
  const std::string clean = "Quarterly report: nothing unusual here.";
  const std::string planted = "header " + tarvex::AntivirusTestString() + " trailer";

  PrintReport(
      "clean buffer (TarvexBuffer2)",
      g_engine.TarvexBuffer2("report.txt", clean.data(), clean.size(), 0, "demo.exe", "4242"));
  PrintReport("antivirus test string (TarvexBuffer2)",
              g_engine.TarvexBuffer2("download.bin", planted.data(), planted.size(), 0, "", ""));

  // A message-only window of this thread receives the engine's timer.
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  g_engine.TarvexBuffer(window, &ScanFinished, "attachment.dat", planted.data(), planted.size(), 0,
                        "", "");
  const bool notified = WaitForNotification(15000);
  if (window != nullptr) DestroyWindow(window);
  if (!notified) {
    std::printf("no notification from the engine\n");
    return 1;
  }
  PrintReport("antivirus test string (TarvexBuffer, notified by timer)", g_engine.GetScanResult());
  return 0;
}
