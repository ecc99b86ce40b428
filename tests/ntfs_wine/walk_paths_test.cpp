// White-box: the folder walk with the engine's own listing, over a tree made
// through the Unix side of C: whose names Win32 path parsing would alter.
// Every path the walk hands to the stream scan must open exactly the object
// its listing named; each file of the tree holds its own path below the tree
// (tests/ntfs_wine/run_ntfs_walk.sh makes it), so a path that reaches a decoy
// or a device shows. Built with the engine's internal headers, as the test of
// the process image path is.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "folder_listing.h"
#include "scanners/logic/folder_walk.h"
#include "text_conversion.h"
#include "virtual_buffer.h"
#include "wide_paths.h"
#include "win32_handles.h"

using namespace tarvex;

namespace {

std::u16string TreeRoot() {
  const char* tree = std::getenv("TARVEX_HIDING_TREE");
  return tree != nullptr ? U16FromAnsi(tree) : std::u16string();
}

class ListingHost : public FolderWalkHost {
 public:
  explicit ListingHost(bool withFileReferences) : withFileReferences_(withFileReferences) {}
  bool ListFolder(const WalkPath& folder,
                  const std::function<bool(const FolderEntry&)>& onEntry) override {
    return ListFolderEntries(folder.platform, withFileReferences_, buffer_, onEntry);
  }
  void ScanStreams(const WalkPath& path, const FolderEntry* entry) override {
    paths.push_back(path);
    isDirectory.push_back(entry == nullptr || entry->isDirectory);
    fileReferences.push_back(entry != nullptr ? entry->fileReference : 0);
  }
  void ShowFolder(const WalkPath&) override {}
  bool CancelRequested() override { return false; }

  std::vector<WalkPath> paths;
  std::vector<bool> isDirectory;
  std::vector<uint64_t> fileReferences;

 private:
  bool withFileReferences_;
  VirtualBuffer buffer_;
};

std::string ContentOf(const std::u16string& platformPath) {
  const UniqueFileHandle file(CreateFileW(WidePointer(platformPath), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "<open failed: " + std::to_string(GetLastError()) + ">";
  char content[512] = {};
  DWORD readLength = 0;
  ReadFile(file.Get(), content, sizeof content, &readLength, nullptr);
  return std::string(content, readLength);
}

TEST(WalkPaths, EveryWalkedPathOpensTheObjectItsListingNamed) {
  const std::u16string root = TreeRoot();
  ASSERT_FALSE(root.empty()) << "TARVEX_HIDING_TREE is not set";
  FolderWorkList workList;
  ListingHost host(false);
  WalkFolderTree(WalkPath{root, FullLongPathForm(root), 0}, workList, host);

  // The names the tree was made with, each of them met once.
  const std::vector<std::u16string> names{u"dots.",      u"dots.\\inner.txt",
                                          u"dots",       u"dots\\decoy.txt",
                                          u"blank ",     u"blank \\in-blank.txt",
                                          u"blank",      u"blank\\decoy.txt",
                                          u"trailing.",  u"trailing ",
                                          u"trailing",   u"nul",
                                          u"com1",       u"com1.txt",
                                          u"aux.txt",    u"con",
                                          u"con\\x.txt", u"lpt1"};
  std::vector<std::u16string> met;
  for (size_t i = 1; i < host.paths.size(); ++i) {
    const WalkPath& path = host.paths[i];
    ASSERT_EQ(root + u"\\", path.text.substr(0, root.size() + 1));
    const std::u16string below = path.text.substr(root.size() + 1);
    met.push_back(below);
    // Checked before anything opens it: a device name reached as a device can block.
    ASSERT_EQ(path.platform, FullLongPathForm(root) + u"\\" + below);
    if (host.isDirectory[i]) {
      const DWORD attributes = GetFileAttributesW(WidePointer(path.platform));
      EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                  (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
          << AnsiFromU16(below);
    } else {
      EXPECT_EQ(AnsiFromU16(below), ContentOf(path.platform)) << AnsiFromU16(below);
    }
  }
  std::vector<std::u16string> sortedMet = met;
  std::vector<std::u16string> sortedNames = names;
  std::sort(sortedMet.begin(), sortedMet.end());
  std::sort(sortedNames.begin(), sortedNames.end());
  EXPECT_EQ(sortedNames, sortedMet);
}

// Listing by handle with file ids (as the walk does on an indexed volume)
// gives the entries of the find functions in their order, dots aside (the
// find functions leave them out at a drive's root, the handle listing does not).
TEST(WalkPaths, ListingByHandleGivesTheEntriesOfTheFindFunctionsInTheirOrder) {
  std::vector<std::u16string> folders{TreeRoot()};
  if (const char* more = std::getenv("TARVEX_LISTING_FOLDERS")) {
    std::string list = more;
    for (size_t start = 0; start <= list.size();) {
      size_t end = list.find(';', start);
      if (end == std::string::npos) end = list.size();
      if (end > start) folders.push_back(U16FromAnsi(list.substr(start, end - start)));
      start = end + 1;
    }
  }
  for (const std::u16string& folder : folders) {
    SCOPED_TRACE(AnsiFromU16(folder));
    ASSERT_FALSE(folder.empty());
    std::vector<std::vector<std::u16string>> names(2);
    std::vector<uint64_t> references;
    for (int withIds = 0; withIds < 2; ++withIds) {
      FolderWorkList workList;
      ListingHost host(withIds != 0);
      WalkFolderTree(WalkPath{folder, FullLongPathForm(folder), 0}, workList, host);
      for (const WalkPath& path : host.paths) names[withIds].push_back(path.text);
      if (withIds != 0) references = host.fileReferences;
    }
    EXPECT_GT(names[0].size(), 1u);
    EXPECT_EQ(names[0], names[1]);
    // Every listed entry came with a file id; only the start has none.
    ASSERT_FALSE(references.empty());
    for (size_t i = 1; i < references.size(); ++i) {
      EXPECT_NE(0u, references[i]) << AnsiFromU16(names[1][i]);
    }
  }
}

}  // namespace
