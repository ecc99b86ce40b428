// The all-drives walk (TarvexAdsInFolder with an empty path) in a prefix whose
// only drive is C:. Run in a prefix of its own (tests/cmake/streams.cmake).
#include <gtest/gtest.h>

#include <string>

#include "engine_api.h"
#include "notification_window.h"

using namespace tarvex_test;

namespace {

TEST(AllDrives, TheWalkOfEveryDriveCompletesAndNotifies) {
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  char roots[64] = {};
  ASSERT_EQ(4u, GetLogicalDriveStringsA(sizeof roots, roots)) << "this run expects C: only";
  ASSERT_STREQ("C:\\", roots);

  NotificationWindow window;
  EXPECT_EQ(0, api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc, "", 0));
  bool sawWindowsFolder = false;
  const std::string inside = "C:\\windows\\";
  const ULONGLONG deadline = GetTickCount64() + 300000;
  while (window.Calls() == 0 && GetTickCount64() < deadline) {
    const std::string object = api.ScanObject();
    sawWindowsFolder =
        sawWindowsFolder || _strnicmp(object.c_str(), inside.c_str(), inside.size()) == 0;
    window.PumpFor(1);
  }
  ASSERT_EQ(1, window.Calls()) << "the walk did not end within 300 s";
  EXPECT_TRUE(sawWindowsFolder);
  // Wine lists no named streams: the title entry only, nothing scanned.
  EXPECT_EQ(1u, ReadEntries().size());
  EXPECT_EQ(-1, api.GetScanResult());
}

}  // namespace
