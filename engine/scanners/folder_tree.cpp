// ScanFolderTree and IsScannableVolume: walks folder trees or all drives and
// has the streams of every file and folder scanned. On an NTFS volume whose
// master file table can be read, each entry's streams are taken from an index
// of that table instead of asking each file; everything else is asked file by
// file, as are entries the index cannot vouch for.
#include <windows.h>

#include <vector>

#include "engine_state.h"
#include "fault_injection.h"
#include "folder_listing.h"
#include "ntfs_volume.h"
#include "scanners.h"
#include "scanners/logic/drive_selection.h"
#include "scanners/logic/folder_walk.h"
#include "scanners/logic/indexed_walk.h"
#include "stream_scanners.h"
#include "wide_paths.h"

namespace tarvex {
namespace {

class Win32FolderWalk : public FolderWalkHost {
 public:
  explicit Win32FolderWalk(int32_t findingsOnly)
      : findingsOnly_(findingsOnly), indexes_(BuildTreeIndex) {}

  // Listed by handle with file ids where the tree has an index, else with the
  // wide find functions; both take the long-path form, so names beyond the
  // ANSI code page and folders deeper than 260 characters are listed as they are.
  bool ListFolder(const WalkPath& folder,
                  const std::function<bool(const FolderEntry&)>& onEntry) override {
    const TreeIndexes::Answer tree = indexes_.ForPath(folder);
    if (tree.cancelled) return false;
    return ListFolderEntries(folder.platform, tree.index != nullptr, recordBuffer_, onEntry);
  }

  void ScanStreams(const WalkPath& path, const FolderEntry* entry) override {
    const std::string target = AnsiFromU16(path.text);
    // First, as the stream scan of a file does; the index of a tree is built
    // when its first path comes, and the progress display shows that path.
    Engine().scanObject.Set(target);
    PauseAt("ScanFolderEntry");
    const TreeIndexes::Answer tree = indexes_.ForPath(path);
    if (tree.cancelled) return;
    // The start folder and the drive roots are opened for their reference;
    // the open follows a reparse point, so the reference is its target's.
    uint64_t fileReference = entry != nullptr ? entry->fileReference : 0;
    if (entry == nullptr && tree.index != nullptr) fileReference = FileReferenceOf(path.platform);
    const bool isReparsePoint = entry != nullptr && entry->isReparsePoint;
    const MftStreamFile* file = nullptr;
    switch (LookUpEntryStreams(tree.index, fileReference, isReparsePoint, &file)) {
      case EntryStreams::kQueryFile:
        ScanFileStreamsAt(path.platform, target, findingsOnly_, listBuffer_);
        break;
      case EntryStreams::kNone:
        break;
      case EntryStreams::kFromIndex:
        ScanKnownStreamsAt(path.platform, target, IndexedStreamSuffixes(*file), findingsOnly_);
        break;
    }
  }

  void ShowFolder(const WalkPath& folder) override {
    Engine().scanObject.Set(AnsiFromU16(folder.text));
    indexes_.LeaveTreesBefore(folder.tree);
  }

  bool CancelRequested() override { return tarvex::CancelRequested(); }

 private:
  int32_t findingsOnly_;
  TreeIndexes indexes_;
  VirtualBuffer listBuffer_;    // stream lists of the files asked, released when the walk ends
  VirtualBuffer recordBuffer_;  // folder listings by handle
};

class Win32DriveProbe : public DriveProbe {
 public:
  bool IsScannableVolume(const std::string& root) override {
    return tarvex::IsScannableVolume(root.c_str());
  }
  unsigned DriveType(const std::string& root) override { return GetDriveTypeA(root.c_str()); }
};

// GetLogicalDriveStringsA into a zero-filled buffer of 510 bytes, given as 500.
std::vector<std::string> LogicalDriveRoots() {
  std::vector<char> buffer(510, '\0');
  constexpr DWORD kGivenLength = 500;
  const DWORD length = GetLogicalDriveStringsA(kGivenLength, buffer.data());
  if (length == 0) return {};
  return DriveRootsFromList(buffer.data(), kGivenLength);
}

}  // namespace

bool IsScannableVolume(const char* root) {
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  DWORD maxComponentLength = 0;
  DWORD fileSystemFlags = 0;
  const BOOL ok = GetVolumeInformationA(root, nullptr, 0, nullptr, &maxComponentLength,
                                        &fileSystemFlags, nullptr, 0);
  SetErrorMode(previousMode);
  return ok != FALSE;
}

void ScanFolderTree(const std::string& folderPath, int32_t findingsOnly) {
  EngineState& engine = Engine();
  Win32FolderWalk walk(findingsOnly);
  if (folderPath.empty()) {
    Win32DriveProbe probe;
    WalkDriveTrees(LogicalDriveRoots(), probe, engine.folderWorkList, walk);
    return;
  }
  const std::u16string text = U16FromAnsi(folderPath);
  WalkFolderTree(WalkPath{text, FullLongPathForm(text), 0}, engine.folderWorkList, walk);
}

}  // namespace tarvex
