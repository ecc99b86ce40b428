// Every asynchronous scan export returns at once and ends its job with the
// notification timer; every job starts with the title entry.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine_api.h"
#include "notification_window.h"

using namespace tarvex_test;

namespace {

TEST(AsynchronousExports, EachReturnsZeroAndNotifiesOnce) {
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  NotificationWindow window;
  const auto proc = &NotificationWindow::TimerProc;
  void* w = window.Window();
  const std::string data = "abc";
  struct Case {
    const char* name;
    std::function<intptr_t()> start;
  } cases[] = {
      {"TarvexAds", [&] { return api.TarvexAds(w, proc, "C:\\no-such-dir\\missing.txt", 0); }},
      {"TarvexAdsInFile",
       [&] { return api.TarvexAdsInFile(w, proc, "C:\\no-such-dir\\missing.txt", 0); }},
      {"TarvexAdsInFolder", [&] { return api.TarvexAdsInFolder(w, proc, "C:\\no-such-dir", 0); }},
      {"TarvexProcessWithName",
       [&] { return api.TarvexProcessWithName(w, proc, "no-such-program.exe", 0); }},
      {"TarvexProcessWithPid", [&] { return api.TarvexProcessWithPid(w, proc, 0, "none.exe", 0); }},
      {"TarvexBuffer",
       [&] { return api.TarvexBuffer(w, proc, "b", data.data(), data.size(), 0, "", ""); }},
  };
  for (const Case& c : cases) {
    window.ResetCalls();
    EXPECT_EQ(0, c.start()) << c.name;
    ASSERT_TRUE(window.WaitForNotification(20000)) << c.name;
    EXPECT_EQ(static_cast<uintptr_t>(TARVEX_NOTIFY_TIMER_ID), window.LastTimerId()) << c.name;
    EXPECT_GE(api.GetScanlistSize(), 1) << c.name;
    api.SetScanlistToStart();
    EXPECT_STREQ("Scantarget", reinterpret_cast<const char*>(api.GetScanlistEntry("Scantarget")))
        << c.name;
    EXPECT_EQ("", api.ScanObject()) << c.name;
    EXPECT_GT(api.GetScanfileLength(), 0) << c.name;
  }
}

TEST(SynchronousExports, ReturnTheJobVerdictWithoutNotification) {
  EngineApi& api = Engine();
  NotificationWindow window;
  EXPECT_EQ(-1, api.TarvexAds2("C:\\no-such-dir\\missing.txt", 0));
  EXPECT_EQ(-1, api.GetScanResult());
  const std::string data = "abc";
  EXPECT_EQ(0, api.TarvexBuffer2("b", data.data(), data.size(), 0, "", ""));
  EXPECT_EQ(0, window.PumpFor(500));
}

}  // namespace
