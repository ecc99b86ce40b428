// ScanFolderTree and IsScannableVolume: walks folder trees or all drives and
// has the streams of every file and folder scanned.
#include <windows.h>

#include <vector>

#include "engine_state.h"
#include "scanners.h"
#include "scanners/logic/drive_selection.h"
#include "scanners/logic/folder_walk.h"
#include "scanners/logic/path_forms.h"
#include "stream_scanners.h"
#include "wide_paths.h"
#include "win32_handles.h"

namespace tarvex {
namespace {

class Win32FolderWalk : public FolderWalkHost {
 public:
  explicit Win32FolderWalk(int32_t findingsOnly) : findingsOnly_(findingsOnly) {}

  // Wide find functions with the long-path form: names beyond the ANSI code
  // page and folders deeper than 260 characters are listed as they are.
  bool ListFolder(const std::u16string& folderPath,
                  const std::function<bool(const FolderEntry&)>& onEntry) override {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(
        FindFirstFileW(WidePointer(PlatformPath(ListingPattern(folderPath))), &data));
    if (!find) return false;
    do {
      FolderEntry entry;
      entry.name = U16FromWide(data.cFileName);
      entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      entry.isReparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (!onEntry(entry)) break;
    } while (FindNextFileW(find.Get(), &data));
    return true;
  }

  void ScanStreams(const std::u16string& path) override {
    ScanFileStreamsAt(path, AnsiFromU16(path), findingsOnly_, listBuffer_);
  }

  void ShowFolder(const std::u16string& folderPath) override {
    Engine().scanObject.Set(AnsiFromU16(folderPath));
  }

  bool CancelRequested() override { return tarvex::CancelRequested(); }

 private:
  int32_t findingsOnly_;
  VirtualBuffer listBuffer_;  // stream lists of every entry, released when the walk ends
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
  WalkFolderTree(U16FromAnsi(folderPath), engine.folderWorkList, walk);
}

}  // namespace tarvex
