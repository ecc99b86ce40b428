// Folder walks over a real NTFS volume made by ntfs-3g, through the engine's
// exports: D: is the image's read-only FUSE mount and, where the run links it,
// the image itself is D:'s raw volume (tests/ntfs_wine/run_ntfs_walk.sh sets
// both up). What the walk must report comes from ntfs-3g's own account of the
// volume (TARVEX_NTFS_EXPECTED, written by expected_streams.py from ntfsinfo
// and the mount) and from the listing order the platform gives.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine_api.h"
#include "notification_window.h"
#include "test_provider.h"
#include "text_conversion.h"
#include "win32_handles.h"

using namespace tarvex_test;

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// One named stream ntfs-3g knows, and what its content must be reported as.
struct KnownStream {
  std::wstring name;
  std::string outcome;  // "detected", "clean" or "empty"
};

// Path below the volume's root ("" for the root) -> its named streams in order.
using KnownStreams = std::map<std::wstring, std::vector<KnownStream>>;

KnownStreams ReadKnownStreams() {
  KnownStreams known;
  std::ifstream file(Environment("TARVEX_NTFS_EXPECTED"), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string path, name, outcome;
    std::getline(fields, path, '\t');
    std::getline(fields, name, '\t');
    std::getline(fields, outcome, '\t');
    known[tarvex::WideFromMultiByte(path, CP_UTF8)].push_back(
        {tarvex::WideFromMultiByte(name, CP_UTF8), outcome});
  }
  return known;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// The paths a walk of start meets, in the order the walk is documented to
// meet them: the start; then each folder's entries in listing order (a
// subfolder when it is listed), each subfolder's subtree before the next
// subfolder's, reparse points never entered. Listed with the find functions.
void AddWalkOrder(const std::wstring& folderText, std::vector<std::wstring>* order) {
  std::vector<std::wstring> subfolders;
  WIN32_FIND_DATAW data{};
  const tarvex::UniqueFindHandle find(
      FindFirstFileW((L"\\\\?\\" + Join(folderText, L"*")).c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    order->push_back(Join(folderText, name));
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      subfolders.push_back(order->back());
    }
  } while (FindNextFileW(find.Get(), &data));
  for (const std::wstring& subfolder : subfolders) AddWalkOrder(subfolder, order);
}

struct ExpectedEntry {
  std::string scantarget;
  std::string isMalware;
  std::string scannermessage;  // checked when not empty
};

std::string IsMalwareOf(const std::string& outcome) {
  if (outcome == "detected") return "yes (32768)";
  if (outcome == "clean") return "no (1)";
  return "not scanned (0)";
}

// The entries of a walk of startText ("D:\..."): every stream of every path
// met, in walk order. startText and the paths keep the caller's spelling.
std::vector<ExpectedEntry> ExpectedWalk(const KnownStreams& known, const std::wstring& startText) {
  std::vector<std::wstring> order{startText};
  std::wstring startFolder = startText;
  AddWalkOrder(startFolder, &order);
  std::vector<ExpectedEntry> entries;
  for (const std::wstring& path : order) {
    // Below the root: "D:\a\b" -> "a\b"; "D:\" and "D:\a\" (a start with a trailing backslash).
    std::wstring relative = path.substr(3);
    if (!relative.empty() && relative.back() == L'\\') relative.pop_back();
    auto streams = known.find(relative);
    if (streams == known.end()) continue;
    for (const KnownStream& stream : streams->second) {
      ExpectedEntry entry;
      entry.scantarget = tarvex::AnsiFromWide(path + L":" + stream.name);
      entry.isMalware = IsMalwareOf(stream.outcome);
      if (stream.outcome == "empty") entry.scannermessage = "ReadFile -> No data!";
      entries.push_back(entry);
    }
  }
  return entries;
}

// Runs TarvexAdsInFolder to its notification; the entries after the title.
std::vector<Entry> WalkEntries(const std::string& path) {
  EngineApi& api = Engine();
  NotificationWindow window;
  EXPECT_EQ(
      0, api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc, path.c_str(), 0));
  EXPECT_TRUE(window.WaitForNotification(120000)) << "the walk of " << path << " did not end";
  std::vector<Entry> entries = ReadEntries();
  EXPECT_FALSE(entries.empty());
  if (!entries.empty()) entries.erase(entries.begin());
  return entries;
}

void ExpectEntries(const std::vector<ExpectedEntry>& expected, const std::vector<Entry>& entries) {
  const size_t common = std::min(expected.size(), entries.size());
  for (size_t i = 0; i < common; ++i) {
    EXPECT_EQ(expected[i].scantarget, entries[i].scantarget) << "entry " << i;
    EXPECT_EQ(expected[i].isMalware, entries[i].isMalware) << entries[i].scantarget;
    if (!expected[i].scannermessage.empty()) {
      EXPECT_EQ(expected[i].scannermessage, entries[i].scannermessage) << entries[i].scantarget;
    }
  }
  for (size_t i = common; i < expected.size(); ++i) {
    ADD_FAILURE() << "missing: " << expected[i].scantarget << " " << expected[i].isMalware;
  }
  for (size_t i = common; i < entries.size(); ++i) {
    ADD_FAILURE() << "not expected: " << entries[i].scantarget << " " << entries[i].isMalware;
  }
}

class NtfsWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Engine().Complete()) << "engine or an export missing";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"D:\\"))
        << "D: is not linked to the image's mount";
    known = ReadKnownStreams();
    ASSERT_FALSE(known.empty()) << "no streams in TARVEX_NTFS_EXPECTED ("
                                << Environment("TARVEX_NTFS_EXPECTED") << ")";
    ClearProviderSettings();
  }
  void TearDown() override { ClearProviderSettings(); }
  KnownStreams known;
};

TEST_F(NtfsWalk, TheVolumeWalkReportsEveryStreamWithItsVerdictInWalkOrder) {
  const std::vector<ExpectedEntry> expected = ExpectedWalk(known, L"D:\\");
  size_t streams = 0;
  for (const auto& path : known) streams += path.second.size();
  // Every stream ntfs-3g knows lies on a path the walk meets.
  ASSERT_EQ(streams, expected.size());
  ExpectEntries(expected, WalkEntries("D:\\"));
  EXPECT_EQ(1, Engine().GetScanResult());
}

TEST_F(NtfsWalk, AFolderWalkReportsTheStreamsBelowItInWalkOrder) {
  const std::string folder = Environment("TARVEX_NTFS_FOLDER");
  ASSERT_FALSE(folder.empty()) << "TARVEX_NTFS_FOLDER names no folder of the volume";
  const std::wstring text = L"D:\\" + tarvex::WideFromMultiByte(folder, CP_UTF8);
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(text.c_str()));
  // With and without a trailing backslash: the same entry paths (the
  // folder's own streams follow the path as the caller gave it).
  for (const std::wstring& start : {text, text + L"\\"}) {
    SCOPED_TRACE(tarvex::AnsiFromWide(start));
    const std::vector<ExpectedEntry> expected = ExpectedWalk(known, start);
    ASSERT_FALSE(expected.empty());
    ExpectEntries(expected, WalkEntries(tarvex::AnsiFromWide(start)));
  }
}

TEST_F(NtfsWalk, TheWalkOfAllDrivesReportsTheStreamsOfTheNtfsDrive) {
  // This prefix has C: (no index, and Wine lists no streams there) and D:.
  char roots[64] = {};
  ASSERT_EQ(8u, GetLogicalDriveStringsA(sizeof roots, roots));
  ASSERT_STREQ("D:\\", roots + 4);
  ASSERT_EQ(static_cast<UINT>(DRIVE_FIXED), GetDriveTypeA("D:\\"));
  ExpectEntries(ExpectedWalk(known, L"D:\\"), WalkEntries(""));
}

TEST_F(NtfsWalk, ACancelWhileAStreamIsScannedEndsTheWalkWithoutNotification) {
  EngineApi& api = Engine();
  // A clean stream to scan after the cancel.
  std::string cleanStream;
  for (const auto& path : known) {
    for (const KnownStream& stream : path.second) {
      if (cleanStream.empty() && stream.outcome == "clean") {
        cleanStream = tarvex::AnsiFromWide(Join(L"D:\\", path.first) + L":" + stream.name);
      }
    }
  }
  ASSERT_FALSE(cleanStream.empty());
  NotificationWindow window;
  {
    // The provider holds the first stream of the walk until the cancel is in.
    ProviderHold hold;
    EXPECT_EQ(0, api.TarvexAdsInFolder(window.Window(), &NotificationWindow::TimerProc, "D:\\", 0));
    ASSERT_TRUE(HeldScanThread(hold, 60000).Found()) << "no stream was scanned";
    ASSERT_NE(std::string::npos, api.ScanObject().find(':', 2)) << api.ScanObject();
    ASSERT_EQ(0, api.CancleScan(&NotificationWindow::TimerProc));
  }
  // The next scan waits for the cancelled job's worker to end. Had that job
  // armed its timer, the timer would fire 333 ms after it was armed.
  EXPECT_EQ(0, api.TarvexAds2(cleanStream.c_str(), 0));
  EXPECT_EQ(0, window.PumpFor(1000));
  const std::vector<Entry> entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(cleanStream, entries[1].scantarget);
  EXPECT_EQ("no (1)", entries[1].isMalware);
}

// The volume without its raw device (no d:: link): the index cannot be read,
// so every entry is asked for its streams, and under Wine that query answers
// "not implemented": the walk completes and finds nothing.
TEST(NtfsFallback, WithoutTheRawVolumeEveryFileIsAskedAndWineListsNoStreams) {
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"D:\\"));
  const tarvex::UniqueFileHandle volume(CreateFileW(L"\\\\.\\D:", GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr));
  char sector[512];
  DWORD readLength = 0;
  ASSERT_FALSE(volume && ReadFile(volume.Get(), sector, sizeof sector, &readLength, nullptr) &&
               readLength == sizeof sector)
      << "this run expects D: without a readable raw volume";
  ResetProviderCallLog();
  for (const char* start : {"D:\\", "D:\\some folder"}) {
    EXPECT_TRUE(WalkEntries(start).empty()) << start;
    EXPECT_EQ(-1, api.GetScanResult()) << start;
  }
  EXPECT_TRUE(ProviderCalls("AmsiScanBuffer").empty());
}

// A tree made through the Unix side of C: (TARVEX_HIDING_TREE) whose names
// Win32 path parsing would alter: folders and files with trailing dots and
// blanks beside decoys without them, and device names. The walk must neither
// stop nor hang at them (a device such as COM1 blocks a read); C: has no
// index, and Wine lists no streams, so nothing is reported. The paths the
// walk builds are checked object by object in walk_paths_test.cpp.
TEST(UnixSide, TheWalkOfNamesWin32WouldAlterCompletesOnC) {
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  const std::string tree = Environment("TARVEX_HIDING_TREE");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(tree.c_str()))
      << "TARVEX_HIDING_TREE (" << tree << ") is no folder";
  ResetProviderCallLog();
  EXPECT_TRUE(WalkEntries(tree).empty());
  EXPECT_EQ(-1, api.GetScanResult());
  EXPECT_TRUE(ProviderCalls("AmsiScanBuffer").empty());
}

}  // namespace
