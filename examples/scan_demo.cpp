// Demonstration caller: loads the engine by file name, scans a few buffers
// synchronously and one asynchronously, and prints each job's verdict and the
// engine's text report. With the test provider beside it (amsi.dll) the
// antivirus test string is detected; with the system's AMSI the answer is the
// system's own.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine_api.h"
#include "notification_window.h"
#include "test_content.h"

namespace {

void PrintReport(const char* title, intptr_t verdict) {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  std::printf("== %s: verdict %d, AMSI state %d\n", title, static_cast<int>(verdict),
              static_cast<int>(api.IsAmsiAvailable()));
  std::fwrite(api.Report().data(), 1, api.Report().size(), stdout);
  std::printf("\n");
}

}  // namespace

int main() {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  if (!api.Complete()) {
    std::printf("%s could not be loaded\n", tarvex_test::EngineFileName());
    return 3;
  }
  const std::string clean = "Quarterly report: nothing unusual here.";
  const std::string planted = "header " + tarvex_test::AntivirusTestString() + " trailer";

  PrintReport("clean buffer (TarvexBuffer2)",
              api.TarvexBuffer2("report.txt", clean.data(), clean.size(), 0, "demo.exe", "4242"));
  PrintReport("antivirus test string (TarvexBuffer2)",
              api.TarvexBuffer2("download.bin", planted.data(), planted.size(), 0, "", ""));

  tarvex_test::NotificationWindow window;
  api.TarvexBuffer(window.Window(), &tarvex_test::NotificationWindow::TimerProc, "attachment.dat",
                   planted.data(), planted.size(), 0, "", "");
  if (!window.WaitForNotification(15000)) {
    std::printf("no notification from the engine\n");
    return 1;
  }
  PrintReport("antivirus test string (TarvexBuffer, notified by timer)", api.GetScanResult());
  return 0;
}
