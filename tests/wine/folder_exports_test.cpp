// Folder walks through TarvexAdsInFolder. Wine lists no named streams, so
// what a walk reaches is seen through the scan object text while it runs;
// the order of the walk and the stream-list rules are covered by unit tests.
#include <gtest/gtest.h>

#include <string>

#include "engine_api.h"
#include "notification_window.h"
#include "stream_test_files.h"
#include "test_content.h"
#include "test_provider.h"

using namespace tarvex_test;

namespace {

class FolderExports : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(api.Complete()) << "engine or an export missing";
    ASSERT_TRUE(folder.Ok());
    ResetProviderCallLog();
  }

  // count files named f0000, f0001, ... in the folder.
  static void FillFolder(const std::wstring& path, int count) {
    for (int i = 0; i < count; ++i) {
      wchar_t name[16];
      swprintf(name, 16, L"\\f%04d", i);
      ASSERT_TRUE(PutFile(path + name, "x"));
    }
  }

  static size_t ReportLineCount(const std::string& report) {
    size_t lines = 0;
    for (size_t at = report.find("\r\n"); at != std::string::npos;
         at = report.find("\r\n", at + 2)) {
      ++lines;
    }
    return lines;
  }

  EngineApi& api = Engine();
  TempFolder folder{"folders"};
};

TEST_F(FolderExports, AMissingStartFolderEndsWithANotificationAndNoEntry) {
  NotificationWindow window;
  const std::string path = folder.Ansi("no such folder");
  EXPECT_EQ(
      0, api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc, path.c_str(), 0));
  ASSERT_TRUE(window.WaitForNotification(10000));
  EXPECT_EQ(1u, ReadEntries().size());
  EXPECT_EQ(-1, api.GetScanResult());
  EXPECT_TRUE(ProviderCalls("AmsiScanBuffer").empty());
}

TEST_F(FolderExports, WalkReachesFoldersBeyondTheAnsiCodePageAnd260Characters) {
  const std::wstring wideFolder = folder.Wide(L"\x4E2D\x6587-\x0436");
  const std::wstring longFolder =
      folder.Wide(std::wstring(150, L'L')) + L"\\" + std::wstring(150, L'M');
  ASSERT_TRUE(MakeFolder(wideFolder));
  ASSERT_TRUE(MakeFolder(folder.Wide(std::wstring(150, L'L'))));
  ASSERT_TRUE(MakeFolder(longFolder));
  ASSERT_NO_FATAL_FAILURE(FillFolder(wideFolder, 1000));
  ASSERT_NO_FATAL_FAILURE(FillFolder(longFolder, 1000));
  // The scan object names each file in ANSI: "?" stands for what the code page lacks.
  const std::string wideInside = AnsiFromWide(wideFolder) + "\\f";
  const std::string longInside = AnsiFromWide(longFolder) + "\\f";
  ASSERT_NE(std::string::npos, wideInside.find('?'));
  ASSERT_GT(longInside.size(), 300u);

  NotificationWindow window;
  EXPECT_EQ(0, api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc,
                                     folder.Ansi().c_str(), 0));
  bool sawWide = false;
  bool sawLong = false;
  const ULONGLONG deadline = GetTickCount64() + 120000;
  while (window.Calls() == 0 && GetTickCount64() < deadline) {
    const std::string object = api.ScanObject();
    sawWide = sawWide || object.compare(0, wideInside.size(), wideInside) == 0;
    sawLong = sawLong || object.compare(0, longInside.size(), longInside) == 0;
    window.PumpFor(1);
  }
  ASSERT_EQ(1, window.Calls());
  EXPECT_TRUE(sawWide) << "no file inside " << wideInside;
  EXPECT_TRUE(sawLong) << "no file inside " << longInside;
  EXPECT_EQ(1u, ReadEntries().size());
}

TEST_F(FolderExports, ACancelledWalkEndsWithoutNotificationAndTheNextJobRunsClean) {
  for (int i = 0; i < 30; ++i) {
    const std::wstring sub = folder.Wide(L"d" + std::to_wstring(i));
    ASSERT_TRUE(MakeFolder(sub));
    ASSERT_NO_FATAL_FAILURE(FillFolder(sub, 100));
  }
  NotificationWindow window;
  EXPECT_EQ(0, api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc,
                                     folder.Ansi().c_str(), 0));
  // Cancel once the walk is inside the tree.
  const std::string inside = folder.Ansi("d");
  const ULONGLONG deadline = GetTickCount64() + 30000;
  while (api.ScanObject().compare(0, inside.size(), inside) != 0 && GetTickCount64() < deadline) {
    Sleep(1);
  }
  ASSERT_EQ(0, api.CancleScan(&NotificationWindow::TimerProc));
  // The walk of 3,000 entries takes well over half a second under Wine; a
  // finished walk would have notified within 333 ms.
  EXPECT_EQ(0, window.PumpFor(2500));
  // Header and rule line, no entry lines.
  EXPECT_EQ(2u, ReportLineCount(api.Report()));

  ASSERT_TRUE(PutFile(folder.Wide(L"after.txt"), "clean content"));
  EXPECT_EQ(0, api.TarvexAds2(folder.Ansi("after.txt").c_str(), 0));
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("no (1)", entries[1].isMalware);
  EXPECT_EQ(0, window.PumpFor(400));
}

}  // namespace
