// Folder walks through TarvexAdsInFolder. Wine lists no named streams, so
// what a walk reaches is seen through the scan object text while it runs;
// the order of the walk and the stream-list rules are covered by unit tests.
// The suite PausedWalk runs against the engine's fault-injection test build
// (ctest wine_engine_faults), whose walk stops at every entry until the test
// lets it go on: it reads the scan object text and cancels at known entries.
#include <gtest/gtest.h>

#include <string>

#include "engine_api.h"
#include "file_text.h"
#include "notification_window.h"
#include "paused_job.h"
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

class PausedWalk : public FolderExports {
 protected:
  void TearDown() override { PauseAt(nullptr); }

  // Names the points the job stops at (comma-separated; null: none).
  static void PauseAt(const char* points) { SetEnvironmentVariableA("TARVEX_FAULT_PAUSE", points); }

  // Starts the walk of the folder with the job paused at its first entry.
  void StartPaused(NotificationWindow& window, const std::string& start, const char* points) {
    PauseAt(points);
    ASSERT_EQ(0, api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc,
                                       start.c_str(), 0));
    ASSERT_TRUE(job.WaitUntilPaused()) << "the walk reached no entry";
  }

  const PausedJob job;
};

TEST_F(PausedWalk, ReachesFoldersBeyondTheAnsiCodePageAnd260Characters) {
  const std::wstring wideFolder = folder.Wide(L"\x4E2D\x6587-\x0436");
  const std::wstring longFolder =
      folder.Wide(std::wstring(150, L'L')) + L"\\" + std::wstring(150, L'M');
  ASSERT_TRUE(MakeFolder(wideFolder));
  ASSERT_TRUE(MakeFolder(folder.Wide(std::wstring(150, L'L'))));
  ASSERT_TRUE(MakeFolder(longFolder));
  ASSERT_NO_FATAL_FAILURE(FillFolder(wideFolder, 20));
  ASSERT_NO_FATAL_FAILURE(FillFolder(longFolder, 20));
  // The scan object names each file in ANSI: "?" stands for what the code page lacks.
  const std::string wideInside = AnsiFromWide(wideFolder) + "\\f";
  const std::string longInside = AnsiFromWide(longFolder) + "\\f";
  ASSERT_NE(std::string::npos, wideInside.find('?'));
  ASSERT_GT(longInside.size(), 300u);

  NotificationWindow window;
  ASSERT_NO_FATAL_FAILURE(StartPaused(window, folder.Ansi(), "ScanFolderEntry,JobEnd"));
  // Every entry, each read while the walk waits at it, up to the job's end,
  // where the scan object text is empty.
  size_t wideFiles = 0;
  size_t longFiles = 0;
  for (std::string object = api.ScanObject(); !object.empty(); object = api.ScanObject()) {
    if (object.compare(0, wideInside.size(), wideInside) == 0) ++wideFiles;
    if (object.compare(0, longInside.size(), longInside) == 0) ++longFiles;
    job.Resume();
    ASSERT_TRUE(job.WaitUntilPaused()) << "the job ended without pausing at its end";
  }
  PauseAt(nullptr);
  job.Resume();
  ASSERT_TRUE(window.WaitForNotification(60000));
  EXPECT_EQ(20u, wideFiles) << "files inside " << wideInside;
  EXPECT_EQ(20u, longFiles) << "files inside " << longInside;
  EXPECT_EQ(1u, ReadEntries().size());
}

TEST_F(PausedWalk, ACancelInsideTheTreeEndsTheWalkWithoutNotificationAndTheNextJobRunsClean) {
  for (int i = 0; i < 3; ++i) {
    const std::wstring sub = folder.Wide(L"d" + std::to_wstring(i));
    ASSERT_TRUE(MakeFolder(sub));
    ASSERT_NO_FATAL_FAILURE(FillFolder(sub, 20));
  }
  NotificationWindow window;
  ASSERT_NO_FATAL_FAILURE(StartPaused(window, folder.Ansi(), "ScanFolderEntry"));
  // Entry by entry until the walk is inside the tree.
  const std::string inside = folder.Ansi("d");
  while (api.ScanObject().compare(0, inside.size(), inside) != 0) {
    job.Resume();
    ASSERT_TRUE(job.WaitUntilPaused()) << "the walk never came inside the tree";
  }
  ASSERT_EQ(0, api.CancleScan(&NotificationWindow::TimerProc));
  // The walk stops at its next checkpoint; the job is held once more when
  // everything but its thread's end is done.
  PauseAt("JobEnd");
  job.Resume();
  ASSERT_TRUE(job.WaitUntilPaused()) << "the cancelled job did not end";
  // Header and rule line, no entry lines, and no notification armed.
  EXPECT_EQ(2u, CrLfLines(api.Report()).size());
  EXPECT_EQ(0, window.PumpFor(1000));
  PauseAt(nullptr);
  job.Resume();

  ASSERT_TRUE(PutFile(folder.Wide(L"after.txt"), "clean content"));
  EXPECT_EQ(0, api.TarvexAds2(folder.Ansi("after.txt").c_str(), 0));
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("no (1)", entries[1].isMalware);
  EXPECT_EQ(0, window.PumpFor(400));
}

}  // namespace
