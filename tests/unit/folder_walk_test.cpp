// The folder walk through its listing seam: a fake file system of folders
// whose entries the test lays out, and a record of what the walk asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "scanners/logic/folder_walk.h"
#include "scanners/logic/path_forms.h"

using namespace tarvex;

namespace {

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

class FakeFileSystem : public FolderWalkHost {
 public:
  // Folder path -> its entries in listing order ("." and ".." are added).
  std::map<std::u16string, std::vector<FolderEntry>> folders;
  std::vector<std::u16string> scanned;      // ScanStreams calls, in order (text form)
  std::vector<std::u16string> shown;        // ShowFolder calls
  std::vector<std::u16string> listed;       // ListFolder calls
  std::vector<WalkPath> scannedPaths;       // ScanStreams calls, both forms
  std::vector<WalkPath> listedPaths;        // ListFolder calls, both forms
  std::vector<uint64_t> scannedReferences;  // the listing's file reference; ~0 for no entry
  int openListings = 0;
  int mostOpenListings = 0;
  // Cancel once this many streams scans have been made (-1: never).
  int cancelAfterScans = -1;
  int cancelChecks = 0;

  void AddFolder(const std::u16string& path, std::vector<FolderEntry> entries) {
    std::vector<FolderEntry> all{{u".", true, false}, {u"..", true, false}};
    all.insert(all.end(), entries.begin(), entries.end());
    folders[path] = std::move(all);
  }

  bool ListFolder(const WalkPath& folder,
                  const std::function<bool(const FolderEntry&)>& onEntry) override {
    listed.push_back(folder.text);
    listedPaths.push_back(folder);
    // The walk must hand over the path exactly as the entry path built it.
    auto it = folders.find(folder.text);
    if (it == folders.end()) return false;
    ++openListings;
    if (openListings > mostOpenListings) mostOpenListings = openListings;
    const std::vector<FolderEntry> entries = it->second;
    for (const FolderEntry& entry : entries) {
      if (!onEntry(entry)) break;
    }
    --openListings;
    return true;
  }
  void ScanStreams(const WalkPath& path, const FolderEntry* entry) override {
    scanned.push_back(path.text);
    scannedPaths.push_back(path);
    scannedReferences.push_back(entry != nullptr ? entry->fileReference : ~uint64_t{0});
  }
  void ShowFolder(const WalkPath& folder) override { shown.push_back(folder.text); }
  bool CancelRequested() override {
    ++cancelChecks;
    return cancelAfterScans >= 0 && static_cast<int>(scanned.size()) >= cancelAfterScans;
  }
};

// A start folder as the engine makes it: the caller's text and its long-path form.
WalkPath Start(const std::u16string& text) { return WalkPath{text, u"\\\\?\\" + text, 0}; }

FolderEntry File(const std::u16string& name) { return {name, false, false}; }
FolderEntry Dir(const std::u16string& name) { return {name, true, false}; }
FolderEntry Junction(const std::u16string& name) { return {name, true, true}; }

// R holds r.txt, A (with A1 and a.txt) and B; A1 holds deep.txt.
void LayOutTree(FakeFileSystem& fs, const std::u16string& root) {
  fs.AddFolder(root, {File(u"r.txt"), Dir(u"A"), Dir(u"B")});
  fs.AddFolder(root + u"\\A", {Dir(u"A1"), File(u"a.txt")});
  fs.AddFolder(root + u"\\A\\A1", {File(u"deep.txt")});
  fs.AddFolder(root + u"\\B", {});
}

std::vector<std::u16string> Folders(const std::vector<std::u16string>& paths,
                                    const std::u16string& root) {
  std::vector<std::u16string> result;
  for (const auto& p : paths) {
    if (p == root || p == root + u"\\A" || p == root + u"\\B" || p == root + u"\\A\\A1") {
      result.push_back(p);
    }
  }
  return result;
}

TEST(FolderWalk, FoldersAreScannedInPreOrderAndSubtreesFinishBeforeSiblings) {
  FakeFileSystem fs;
  LayOutTree(fs, u"C:\\R");
  FolderWorkList workList;
  WalkFolderTree(Start(u"C:\\R"), workList, fs);

  const std::vector<std::u16string> expected{
      u"C:\\R",           u"C:\\R\\r.txt",          u"C:\\R\\A", u"C:\\R\\B", u"C:\\R\\A\\A1",
      u"C:\\R\\A\\a.txt", u"C:\\R\\A\\A1\\deep.txt"};
  EXPECT_EQ(expected, fs.scanned);
  // The folders' own streams: R, A, B, A1.
  EXPECT_EQ((std::vector<std::u16string>{u"C:\\R", u"C:\\R\\A", u"C:\\R\\B", u"C:\\R\\A\\A1"}),
            Folders(fs.scanned, u"C:\\R"));
  EXPECT_EQ((std::vector<std::u16string>{u"C:\\R\\A", u"C:\\R\\A\\A1", u"C:\\R\\B"}), fs.shown);
  EXPECT_TRUE(workList.Empty());
  EXPECT_EQ(1, fs.mostOpenListings);
}

TEST(FolderWalk, ATrailingBackslashGivesTheSameEntryPaths) {
  for (const std::u16string start : {u"D:\\data", u"D:\\data\\"}) {
    FakeFileSystem fs;
    fs.AddFolder(start, {File(u"one.txt"), Dir(u"sub")});
    fs.AddFolder(u"D:\\data\\sub", {File(u"two.txt")});
    FolderWorkList workList;
    WalkFolderTree(Start(start), workList, fs);
    ASSERT_EQ(4u, fs.scanned.size()) << Narrow(start);
    EXPECT_EQ(start, fs.scanned[0]);
    EXPECT_EQ(u"D:\\data\\one.txt", fs.scanned[1]);
    EXPECT_EQ(u"D:\\data\\sub", fs.scanned[2]);
    EXPECT_EQ(u"D:\\data\\sub\\two.txt", fs.scanned[3]);
  }
  // A drive root ends in a backslash already.
  EXPECT_EQ(u"C:\\x", EntryPath(u"C:\\", u"x"));
  EXPECT_EQ(u"C:\\x\\*", ListingPattern(u"C:\\x"));
  EXPECT_EQ(u"C:\\*", ListingPattern(u"C:\\"));
}

TEST(FolderWalk, DotEntriesAreNeverScannedAndReparsePointsNeverEntered) {
  FakeFileSystem fs;
  fs.AddFolder(u"C:\\R", {Junction(u"J"), Dir(u"A"), {u"link.txt", false, true}});
  fs.AddFolder(u"C:\\R\\J", {File(u"inside-target.txt")});
  fs.AddFolder(u"C:\\R\\A", {});
  FolderWorkList workList;
  WalkFolderTree(Start(u"C:\\R"), workList, fs);
  EXPECT_EQ((std::vector<std::u16string>{u"C:\\R", u"C:\\R\\J", u"C:\\R\\A", u"C:\\R\\link.txt"}),
            fs.scanned);
  EXPECT_EQ((std::vector<std::u16string>{u"C:\\R", u"C:\\R\\A"}), fs.listed);
  for (const auto& path : fs.scanned) {
    EXPECT_EQ(std::u16string::npos, path.find(u"\\.")) << Narrow(path);
  }
}

TEST(FolderWalk, AMissingStartFolderOrAFileIsOnlyAskedForItsStreams) {
  FakeFileSystem fs;
  FolderWorkList workList;
  workList.Append(Start(u"left over from an earlier walk"));
  WalkFolderTree(Start(u"C:\\nothing here"), workList, fs);
  EXPECT_EQ(std::vector<std::u16string>{u"C:\\nothing here"}, fs.scanned);
  EXPECT_EQ(std::vector<std::u16string>{u"C:\\nothing here"}, fs.listed);
  EXPECT_TRUE(fs.shown.empty());
  EXPECT_TRUE(workList.Empty());
}

TEST(FolderWalk, ACancelEndsTheWalkAtTheNextEntry) {
  struct Case {
    int cancelAfterScans;
    size_t scans;
  } cases[] = {{1, 1}, {2, 2}, {3, 3}, {5, 5}, {7, 7}, {100, 7}};
  for (const Case& c : cases) {
    FakeFileSystem fs;
    LayOutTree(fs, u"C:\\R");
    fs.cancelAfterScans = c.cancelAfterScans;
    FolderWorkList workList;
    WalkFolderTree(Start(u"C:\\R"), workList, fs);
    EXPECT_EQ(c.scans, fs.scanned.size()) << c.cancelAfterScans;
    // No folder is taken up from the work list once the cancel is seen.
    if (c.cancelAfterScans <= 4) {
      EXPECT_TRUE(fs.shown.empty()) << c.cancelAfterScans;
    }
  }
}

TEST(FolderWalk, DeepTreesNeedNoRecursionAndOneListingAtATime) {
  FakeFileSystem fs;
  std::u16string path = u"C:\\deep";
  const int depth = 1000;
  for (int i = 0; i < depth; ++i) {
    fs.AddFolder(path, {Dir(u"d"), File(u"f")});
    path += u"\\d";
  }
  fs.AddFolder(path, {});
  FolderWorkList workList;
  WalkFolderTree(Start(u"C:\\deep"), workList, fs);
  EXPECT_EQ(static_cast<size_t>(1 + 2 * depth), fs.scanned.size());
  EXPECT_EQ(static_cast<size_t>(depth + 1), fs.listed.size());
  EXPECT_EQ(1, fs.mostOpenListings);
  EXPECT_EQ(path, fs.listed.back());
}

TEST(FolderWalk, LongPathsAndNamesBeyondTheAnsiCodePageAreWalkedWhole) {
  FakeFileSystem fs;
  const std::u16string wideName = u"\u4E2D\u6587-\u0436-\u00FC";
  const std::u16string longName(200, u'L');
  const std::u16string root = u"C:\\t";
  fs.AddFolder(root, {Dir(wideName)});
  fs.AddFolder(root + u"\\" + wideName, {Dir(longName)});
  fs.AddFolder(root + u"\\" + wideName + u"\\" + longName, {Dir(longName)});
  const std::u16string deepest = root + u"\\" + wideName + u"\\" + longName + u"\\" + longName;
  fs.AddFolder(deepest, {File(wideName + u".txt")});
  FolderWorkList workList;
  WalkFolderTree(Start(root), workList, fs);
  ASSERT_FALSE(fs.scanned.empty());
  EXPECT_EQ(deepest + u"\\" + wideName + u".txt", fs.scanned.back());
  EXPECT_GT(fs.scanned.back().size(), 400u);
  EXPECT_EQ(deepest, fs.listed.back());
}

TEST(FolderWalk, WorkListInsertsBehindTheCurrentElement) {
  FolderWorkList list;
  auto texts = [&list] {
    std::vector<std::u16string> result;
    for (const WalkPath& folder : list.Folders()) result.push_back(folder.text);
    return result;
  };
  list.InsertAfterCurrent(Start(u"a"));  // no current element: at the front
  list.InsertAfterCurrent(Start(u"b"));  // behind a, and current
  list.Append(Start(u"z"));
  EXPECT_EQ(u"a", list.TakeUpFirst().text);
  list.InsertAfterCurrent(Start(u"a1"));
  list.InsertAfterCurrent(Start(u"a2"));
  EXPECT_EQ((std::vector<std::u16string>{u"a", u"a1", u"a2", u"b", u"z"}), texts());
  list.RemoveFirst();
  list.InsertAfterCurrent(Start(u"front"));
  EXPECT_EQ((std::vector<std::u16string>{u"front", u"a1", u"a2", u"b", u"z"}), texts());
  list.Clear();
  EXPECT_TRUE(list.Empty());
}

TEST(FolderWalk, PlatformPathsJoinTheListedNamesLiterally) {
  // Names Win32 path parsing would alter, and a start folder whose text is
  // not its platform form (a drive-relative path made absolute).
  FakeFileSystem fs;
  const WalkPath start{u"D:data", u"\\\\?\\D:\\work\\data", 0};
  fs.AddFolder(u"D:data", {{u"dots.", true, false, 71}, {u"nul", false, false, 72}});
  fs.AddFolder(u"D:data\\dots.", {{u"trail ", false, false, 73}, {u"com1.txt", false, false, 74}});
  FolderWorkList workList;
  WalkFolderTree(start, workList, fs);

  const std::vector<std::pair<std::u16string, std::u16string>> expected{
      {u"D:data", u"\\\\?\\D:\\work\\data"},
      {u"D:data\\dots.", u"\\\\?\\D:\\work\\data\\dots."},
      {u"D:data\\nul", u"\\\\?\\D:\\work\\data\\nul"},
      {u"D:data\\dots.\\trail ", u"\\\\?\\D:\\work\\data\\dots.\\trail "},
      {u"D:data\\dots.\\com1.txt", u"\\\\?\\D:\\work\\data\\dots.\\com1.txt"}};
  ASSERT_EQ(expected.size(), fs.scannedPaths.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].first, fs.scannedPaths[i].text) << i;
    EXPECT_EQ(expected[i].second, fs.scannedPaths[i].platform) << i;
    EXPECT_EQ(0u, fs.scannedPaths[i].tree) << i;
  }
  ASSERT_EQ(2u, fs.listedPaths.size());
  EXPECT_EQ(u"\\\\?\\D:\\work\\data\\dots.", fs.listedPaths[1].platform);
  // Each listed entry comes with the file reference its listing reported;
  // the start folder has no listing entry.
  EXPECT_EQ((std::vector<uint64_t>{~uint64_t{0}, 71, 72, 73, 74}), fs.scannedReferences);
}

// Answers of the drive probes, with the calls recorded.
class FakeDrives : public DriveProbe {
 public:
  std::map<std::string, std::pair<bool, unsigned>> drives;  // root -> (volume readable, type)
  std::vector<std::string> calls;
  bool IsScannableVolume(const std::string& root) override {
    calls.push_back("volume " + root);
    return drives[root].first;
  }
  unsigned DriveType(const std::string& root) override {
    calls.push_back("type " + root);
    return drives[root].second;
  }
};

TEST(FolderWalk, AllDrivesWalkTakesFixedAndRemovableDrivesInOrder) {
  FakeDrives probe;
  probe.drives = {{"A:\\", {true, kDriveRemovable}},
                  {"B:\\", {true, kDriveFixed}},
                  {"C:\\", {true, kDriveFixed}},
                  {"D:\\", {true, 5}},                 // optical
                  {"E:\\", {false, kDriveRemovable}},  // card reader, no card
                  {"F:\\", {true, kDriveRemovable}},
                  {"G:\\", {true, 4}},   // network
                  {"H:\\", {true, 6}}};  // RAM disk
  FakeFileSystem fs;
  fs.AddFolder(u"C:\\", {Dir(u"c1"), File(u"c.txt")});
  fs.AddFolder(u"C:\\c1", {File(u"in-c1.txt")});
  fs.AddFolder(u"F:\\", {File(u"f.txt")});
  fs.AddFolder(u"D:\\", {File(u"never.txt")});
  FolderWorkList workList;
  WalkDriveTrees({"A:\\", "B:\\", "C:\\", "D:\\", "E:\\", "F:\\", "G:\\", "H:\\"}, probe, workList,
                 fs);
  EXPECT_EQ((std::vector<std::u16string>{u"C:\\", u"F:\\", u"C:\\c1", u"C:\\c.txt",
                                         u"C:\\c1\\in-c1.txt", u"F:\\f.txt"}),
            fs.scanned);
  EXPECT_EQ((std::vector<std::u16string>{u"C:\\", u"C:\\c1", u"F:\\"}), fs.shown);
  // A drive whose volume cannot be read is not asked for its type.
  const auto& calls = probe.calls;
  EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), "volume E:\\"));
  EXPECT_EQ(calls.end(), std::find(calls.begin(), calls.end(), "type E:\\"));
}

TEST(FolderWalk, AllDrivesWalkStopsProbingOnCancel) {
  FakeDrives probe;
  probe.drives = {{"C:\\", {true, kDriveFixed}}, {"D:\\", {true, kDriveFixed}}};
  FakeFileSystem fs;
  fs.cancelAfterScans = 1;  // set while C:\'s own streams are scanned
  FolderWorkList workList;
  WalkDriveTrees({"C:\\", "D:\\"}, probe, workList, fs);
  EXPECT_EQ(std::vector<std::u16string>{u"C:\\"}, fs.scanned);
  EXPECT_TRUE(fs.shown.empty());
  EXPECT_EQ((std::vector<std::string>{"volume C:\\", "type C:\\"}), probe.calls);
}

TEST(FolderWalk, EachDriveIsATreeOfItsOwnWithItsRootInTheLongPathForm) {
  FakeDrives probe;
  probe.drives = {{"C:\\", {true, kDriveFixed}},
                  {"D:\\", {true, 5}},  // optical: not taken, so no tree
                  {"E:\\", {true, kDriveFixed}}};
  FakeFileSystem fs;
  fs.AddFolder(u"C:\\", {Dir(u"c1")});
  fs.AddFolder(u"C:\\c1", {File(u"in-c1.txt")});
  fs.AddFolder(u"E:\\", {File(u"e.txt")});
  FolderWorkList workList;
  WalkDriveTrees({"C:\\", "D:\\", "E:\\"}, probe, workList, fs);
  std::vector<std::tuple<std::u16string, std::u16string, size_t>> seen;
  for (const WalkPath& path : fs.scannedPaths)
    seen.emplace_back(path.text, path.platform, path.tree);
  using Seen = std::tuple<std::u16string, std::u16string, size_t>;
  EXPECT_EQ((std::vector<Seen>{Seen{u"C:\\", u"\\\\?\\C:\\", 0}, Seen{u"E:\\", u"\\\\?\\E:\\", 1},
                               Seen{u"C:\\c1", u"\\\\?\\C:\\c1", 0},
                               Seen{u"C:\\c1\\in-c1.txt", u"\\\\?\\C:\\c1\\in-c1.txt", 0},
                               Seen{u"E:\\e.txt", u"\\\\?\\E:\\e.txt", 1}}),
            seen);
}

}  // namespace
