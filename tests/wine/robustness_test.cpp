// Robustness under Wine: random cancels, AMSI failing inside walks, files that
// change while a walk runs, processes that exit while they are read, the
// read-only promise, the privileges after every job, and the scan object text
// polled from another thread. Runs in its own process (ctest wine_robustness).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine_api.h"
#include "notification_window.h"
#include "process_fixture.h"
#include "stream_test_files.h"
#include "test_content.h"
#include "test_provider.h"
#include "token_privileges.h"
#include "win32_handles.h"

using namespace tarvex_test;

namespace {

// Every verdict text an entry may carry; a clean word only after a real scan.
// The process scan's own failure entries carry the bare word.
bool KnownVerdict(const std::string& isMalware) {
  if (isMalware == "not scanned") return true;
  for (const char* word :
       {"yes (", "no (", "not scanned (", "Scan is not supported on this system! ("}) {
    if (isMalware.compare(0, std::strlen(word), word) == 0) return true;
  }
  return false;
}

class Robust : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(api.Complete());
    ASSERT_TRUE(folder.Ok());
    ClearProviderSettings();
  }
  void TearDown() override { ClearProviderSettings(); }

  // A tree of files in several folders, some holding the antivirus test string.
  void MakeTree(int folders, int filesPerFolder) {
    for (int f = 0; f < folders; ++f) {
      const std::wstring sub = folder.Wide(L"d" + std::to_wstring(f));
      ASSERT_TRUE(MakeFolder(sub));
      for (int i = 0; i < filesPerFolder; ++i) {
        ASSERT_TRUE(PutFile(sub + L"\\f" + std::to_wstring(i) + L".txt",
                            i % 7 == 0 ? AntivirusTestString() : "plain " + std::to_string(i)));
      }
    }
  }

  EngineApi& api = Engine();
  TempFolder folder{"robust"};
};

TEST_F(Robust, CancelAtRandomMomentsThenTheNextJobRunsCleanAndComplete) {
  ASSERT_NO_FATAL_FAILURE(MakeTree(20, 40));
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  SetPrivilege("SeDebugPrivilege", false);
  SetPrivilege("SeBackupPrivilege", false);
  const std::string slowBlock(64 << 10, 's');
  const std::string bad = AntivirusTestString();
  NotificationWindow window;
  void* w = window.Window();
  const auto proc = &NotificationWindow::TimerProc;
  const std::string root = folder.Ansi();
  const std::function<void()> kinds[] = {
      [&] { api.TarvexAdsInFolder(w, proc, root.c_str(), 0); },
      [&] { api.TarvexBuffer(w, proc, "slow.bin", slowBlock.data(), slowBlock.size(), 0, "", ""); },
      [&] { api.TarvexProcessWithPid(w, proc, holder.Pid(), "memory_holder.exe", 0); },
      [&] { api.TarvexAllProcesses(w, proc, 0); },
      [&] { api.TarvexAds(w, proc, (root + "\\d0\\f0.txt").c_str(), 0); },
  };
  std::mt19937 random(20261210);
  for (int round = 0; round < 200; ++round) {
    SetProviderSetting("TESTAMSI_SCAN_DELAY_MS", round % 2 ? "5" : "0");
    window.ResetCalls();
    kinds[round % 5]();
    Sleep(random() % 40);
    api.CancleScan(proc);
    EXPECT_EQ("", api.ScanObject()) << round;
    // The next job waits for the cancelled one and runs to its end.
    SetProviderSetting("TESTAMSI_SCAN_DELAY_MS", nullptr);
    api.TarvexBuffer(w, proc, "after-cancel.bin", bad.data(), bad.size(), 0, "", "");
    ASSERT_TRUE(window.WaitForNotification(60000)) << "round " << round;
    const auto entries = ReadEntries();
    ASSERT_EQ(2u, entries.size()) << round;
    EXPECT_EQ("after-cancel.bin", entries[1].scantarget) << round;
    EXPECT_EQ("yes (32768)", entries[1].isMalware) << round;
    EXPECT_EQ(1, api.GetScanResult()) << round;
    const std::string report = api.Report();
    EXPECT_EQ(3, std::count(report.begin(), report.end(), '\n')) << round;
    EXPECT_FALSE(PrivilegeEnabled("SeDebugPrivilege")) << round;
    EXPECT_FALSE(PrivilegeEnabled("SeBackupPrivilege")) << round;
  }
}

TEST_F(Robust, AmsiFailingNeverGivesACleanVerdict) {
  const std::wstring file = folder.Wide(L"bad.txt");
  ASSERT_TRUE(PutFile(file, AntivirusTestString()));
  const std::string path = AnsiFromWide(file);
  struct Case {
    const char* variable;
    const char* value;
  } cases[] = {{"TESTAMSI_FAIL_INIT", "0x80070005"},
               {"TESTAMSI_FAIL_OPEN", "0x80070005"},
               {"TESTAMSI_FAIL_SCAN", "0x80004005"}};
  for (const Case& c : cases) {
    ClearProviderSettings();
    SetProviderSetting(c.variable, c.value);
    const intptr_t verdict = api.TarvexAds2(path.c_str(), 0);
    const auto entries = ReadEntries();
    ASSERT_EQ(2u, entries.size()) << c.variable;
    if (std::string(c.variable) == "TESTAMSI_FAIL_OPEN") {
      // Scans use the context, which exists: the content is still judged.
      EXPECT_EQ(1, verdict);
      EXPECT_EQ("yes (32768)", entries[1].isMalware);
    } else {
      EXPECT_EQ(-1, verdict) << c.variable;
      EXPECT_EQ("not scanned (0)", entries[1].isMalware) << c.variable;
      EXPECT_NE("0", entries[1].scannerErrornumber) << c.variable;
    }
  }
}

TEST_F(Robust, PrivilegesAreAsBeforeAfterEveryKindOfJob) {
  MemoryHolder holder;
  ASSERT_TRUE(holder.Ready());
  const std::wstring file = folder.Wide(L"p.txt");
  ASSERT_TRUE(PutFile(file, "x"));
  const std::string path = AnsiFromWide(file);
  NotificationWindow window;
  void* w = window.Window();
  const auto proc = &NotificationWindow::TimerProc;
  const std::string data = "d";
  const std::function<void()> kinds[] = {
      [&] { api.TarvexAds(w, proc, path.c_str(), 0); },
      [&] { api.TarvexAdsInFile(w, proc, path.c_str(), 0); },
      [&] { api.TarvexAdsInFolder(w, proc, folder.Ansi().c_str(), 0); },
      [&] { api.TarvexProcessWithName(w, proc, "no-such-program.exe", 0); },
      [&] { api.TarvexProcessWithPid(w, proc, holder.Pid(), "memory_holder.exe", 0); },
      [&] { api.TarvexBuffer(w, proc, "b", data.data(), data.size(), 0, "", ""); },
      [&] { api.TarvexAds(w, proc, "C:\\no-such-folder\\missing.txt", 0); },  // a failed job
  };
  for (bool before : {false, true}) {
    for (const auto& start : kinds) {
      SetPrivilege("SeDebugPrivilege", before);
      SetPrivilege("SeBackupPrivilege", !before);
      window.ResetCalls();
      start();
      ASSERT_TRUE(window.WaitForNotification(60000));
      EXPECT_EQ(before, PrivilegeEnabled("SeDebugPrivilege"));
      EXPECT_EQ(!before, PrivilegeEnabled("SeBackupPrivilege"));
    }
  }
}

TEST_F(Robust, FilesAndFoldersChangingDuringAWalkNeitherCrashNorHang) {
  ASSERT_NO_FATAL_FAILURE(MakeTree(30, 60));
  std::atomic<bool> stop{false};
  std::atomic<int> changes{0};
  // Deletes, renames, locks and recreates entries while the walk runs.
  std::thread vandal([&] {
    std::mt19937 random(7);
    std::vector<tarvex::UniqueFileHandle> locks;
    while (!stop.load()) {
      const std::wstring sub = folder.Wide(L"d" + std::to_wstring(random() % 30));
      const std::wstring file = sub + L"\\f" + std::to_wstring(random() % 60) + L".txt";
      switch (random() % 5) {
        case 0:
          DeleteFileW(file.c_str());
          break;
        case 1:
          MoveFileW(file.c_str(), (file + L".moved").c_str());
          break;
        case 2: {
          tarvex::UniqueFileHandle lock(
              CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
          if (lock) locks.push_back(std::move(lock));
          break;
        }
        case 3:
          RemoveTree(sub);
          break;
        default:
          MakeFolder(sub);
          PutFile(file, "new");
          break;
      }
      changes++;
    }
    locks.clear();
  });
  NotificationWindow window;
  for (int pass = 0; pass < 5; ++pass) {
    window.ResetCalls();
    api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc, folder.Ansi().c_str(),
                          0);
    const bool notified = window.WaitForNotification(120000);
    EXPECT_TRUE(notified) << "walk " << pass << " did not end";
    if (!notified) break;
    const auto entries = ReadEntries();
    for (size_t i = 1; i < entries.size(); ++i) {
      EXPECT_TRUE(KnownVerdict(entries[i].isMalware)) << entries[i].isMalware;
    }
  }
  stop = true;
  vandal.join();
  EXPECT_GT(changes.load(), 0);
  // A locked and a deleted file scanned directly give their failure entries.
  const std::wstring locked = folder.Wide(L"locked.txt");
  ASSERT_TRUE(PutFile(locked, AntivirusTestString()));
  tarvex::UniqueFileHandle lock(CreateFileW(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock.Valid());
  EXPECT_EQ(-1, api.TarvexAds2(AnsiFromWide(locked).c_str(), 0));
  EXPECT_EQ("32", ReadEntries()[1].scannerErrornumber);
  EXPECT_EQ("not scanned (0)", ReadEntries()[1].isMalware);
  lock.Reset();
  DeleteFileW(locked.c_str());
  EXPECT_EQ(-1, api.TarvexAds2(AnsiFromWide(locked).c_str(), 0));
  EXPECT_EQ("2", ReadEntries()[1].scannerErrornumber);
}

TEST_F(Robust, ProcessExitingWhileItIsReadEndsTheJobWithoutACleanClaimForTheRest) {
  for (int round = 0; round < 3; ++round) {
    MemoryHolder holder;
    ASSERT_TRUE(holder.Ready());
    SetProviderSetting("TESTAMSI_SCAN_DELAY_MS", "40");
    NotificationWindow window;
    api.TarvexProcessWithPid(window.Window(), &NotificationWindow::TimerProc, holder.Pid(),
                             "memory_holder.exe", 0);
    Sleep(150 + 100 * round);
    holder.Finish();
    ASSERT_TRUE(window.WaitForNotification(120000)) << round;
    const auto entries = ReadEntries();
    for (size_t i = 1; i < entries.size(); ++i) {
      EXPECT_TRUE(KnownVerdict(entries[i].isMalware)) << entries[i].isMalware;
    }
  }
}

struct FileState {
  std::string content;
  FILETIME created{}, accessed{}, written{};
  bool ok = false;
};

FileState ReadState(const std::wstring& path) {
  FileState state;
  // Times first, through a handle that reads no data.
  const tarvex::UniqueFileHandle file(
      CreateFileW(LongForm(path).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return state;
  state.ok = GetFileTime(file.Get(), &state.created, &state.accessed, &state.written) != FALSE;
  return state;
}

std::string ReadContent(const std::wstring& path) {
  const tarvex::UniqueFileHandle file(CreateFileW(
      LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "<unreadable>";
  std::string content;
  char chunk[65536];
  DWORD read = 0;
  while (ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
    content.append(chunk, read);
  return content;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

TEST_F(Robust, ScansChangeNothingTheyScan) {
  // Several kinds of entries: empty, small, detected, a stream path, hidden,
  // read-only, a larger file, a nested folder.
  ASSERT_TRUE(MakeFolder(folder.Wide(L"nested")));
  const std::vector<std::pair<std::wstring, std::string>> files = {
      {L"empty.txt", ""},
      {L"small.txt", "hello"},
      {L"bad.com", AntivirusTestString()},
      {L"host.txt:hidden", "stream content " + AntivirusTestString()},
      {L"hidden.txt", "hidden"},
      {L"readonly.txt", "read only"},
      {L"large.bin", std::string(3 << 20, 'L')},
      {L"nested\\inner.txt", "inner"},
  };
  for (const auto& file : files) ASSERT_TRUE(PutFile(folder.Wide(file.first), file.second));
  SetFileAttributesW(folder.Wide(L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(folder.Wide(L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  // Access times later than the write and change times, so that the host's
  // own relatime rule has no reason to move them when the files are read.
  for (const auto& file : files) {
    const tarvex::UniqueFileHandle h(
        CreateFileW(LongForm(folder.Wide(file.first)).c_str(), FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(h.Valid());
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME access, write;
    SystemTimeToFileTime(&now, &access);
    ULARGE_INTEGER w{};
    w.LowPart = access.dwLowDateTime;
    w.HighPart = access.dwHighDateTime;
    ULARGE_INTEGER a = w;
    w.QuadPart -= 36000000000ull;  // an hour ago
    a.QuadPart += 36000000000ull;  // in an hour
    write.dwLowDateTime = w.LowPart;
    write.dwHighDateTime = w.HighPart;
    access.dwLowDateTime = a.LowPart;
    access.dwHighDateTime = a.HighPart;
    ASSERT_TRUE(SetFileTime(h.Get(), &write, &access, &write));
  }
  std::vector<FileState> before;
  for (const auto& file : files) {
    FileState state = ReadState(folder.Wide(file.first));
    ASSERT_TRUE(state.ok);
    state.content = file.second;
    before.push_back(state);
  }

  NotificationWindow window;
  for (const auto& file : files) {
    const std::string path = AnsiFromWide(folder.Wide(file.first));
    api.TarvexAds2(path.c_str(), 0);
    window.ResetCalls();
    api.TarvexAdsInFile(window.Window(), &NotificationWindow::TimerProc, path.c_str(), 0);
    ASSERT_TRUE(window.WaitForNotification(30000));
  }
  window.ResetCalls();
  api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc, folder.Ansi().c_str(), 0);
  ASSERT_TRUE(window.WaitForNotification(60000));

  for (size_t i = 0; i < files.size(); ++i) {
    const FileState after = ReadState(folder.Wide(files[i].first));
    ASSERT_TRUE(after.ok);
    EXPECT_TRUE(SameTime(before[i].created, after.created)) << AnsiFromWide(files[i].first);
    EXPECT_TRUE(SameTime(before[i].accessed, after.accessed)) << AnsiFromWide(files[i].first);
    EXPECT_TRUE(SameTime(before[i].written, after.written)) << AnsiFromWide(files[i].first);
    const std::string content = ReadContent(folder.Wide(files[i].first));
    EXPECT_EQ(before[i].content.size(), content.size()) << AnsiFromWide(files[i].first);
    EXPECT_TRUE(before[i].content == content) << AnsiFromWide(files[i].first);
  }
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN),
            GetFileAttributesW(folder.Wide(L"hidden.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(folder.Wide(L"readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Robust, ScanObjectPolledDuringAWalkIsAlwaysTerminatedWithinItsLimit) {
  ASSERT_NO_FATAL_FAILURE(MakeTree(10, 200));
  // A folder name of 240 characters makes long objects alternate with short ones.
  const std::wstring longSub = folder.Wide(std::wstring(240, L'n'));
  ASSERT_TRUE(MakeFolder(longSub));
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(PutFile(longSub + L"\\" + std::to_wstring(i), "x"));
  const char* text = reinterpret_cast<const char*>(api.GetScanObject());
  std::atomic<bool> done{false};
  std::atomic<long> polls{0}, unterminated{0}, nonEmpty{0};
  std::thread reader([&] {
    while (!done.load()) {
      const void* end = std::memchr(text, 0, 200002);
      if (end == nullptr) unterminated++;
      if (text[0] != '\0') nonEmpty++;
      polls++;
    }
  });
  NotificationWindow window;
  for (int pass = 0; pass < 3; ++pass) {
    window.ResetCalls();
    api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc, folder.Ansi().c_str(),
                          0);
    ASSERT_TRUE(window.WaitForNotification(120000));
    EXPECT_EQ(text, reinterpret_cast<const char*>(api.GetScanObject()));
  }
  done = true;
  reader.join();
  EXPECT_EQ(0, unterminated.load());
  EXPECT_GT(nonEmpty.load(), 0) << "the reader never saw an object";
  EXPECT_GT(polls.load(), 1000);
}

}  // namespace
