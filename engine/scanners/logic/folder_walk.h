// Depth-first, pre-order walk of folder trees without recursion: folders still
// to be walked wait in a work list, and only one listing is open at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "drive_selection.h"

namespace tarvex {

// A path of the walk in two forms. text is what entries and the scan object
// show: the caller's path (or the drive root) and the listed names, joined as
// EntryPath joins them. platform is what the file functions get: the same
// names in the long-path form ("\\?\"), which the system takes literally, so
// that a name Win32 path parsing would alter (trailing dots or blanks, device
// names such as "nul" or "com1") reaches exactly the object the listing
// returned. tree tells which tree of the walk the path belongs to: 0 in the
// walk of a folder, the drive's place among the walked drives otherwise.
struct WalkPath {
  std::u16string text;
  std::u16string platform;
  size_t tree = 0;
};

struct FolderEntry {
  std::u16string name;
  bool isDirectory = false;
  bool isReparsePoint = false;  // junctions, mount points, linked folders
  // The file reference the listing reported (on NTFS the record number and
  // sequence number of the entry's file record); 0 when it reported none.
  uint64_t fileReference = 0;
};

// The path of an entry listed in a folder.
WalkPath EntryWalkPath(const WalkPath& folder, const std::u16string& name);

// The path of a drive root (such as "C:\") as the walk of all drives starts it.
WalkPath DriveRootWalkPath(const std::string& root, size_t tree);

// What the walk needs from the platform, and where its findings go.
class FolderWalkHost {
 public:
  virtual ~FolderWalkHost() = default;
  // Hands the folder's entries ("." and ".." included, as the system lists
  // them) to onEntry in listing order until onEntry returns false. Returns
  // false when the listing cannot be started.
  virtual bool ListFolder(const WalkPath& folder,
                          const std::function<bool(const FolderEntry&)>& onEntry) = 0;
  // Scans the named streams of a file or folder. entry is what the listing
  // said of it; null for the start folder and the drive roots, which no
  // listing of the walk names.
  virtual void ScanStreams(const WalkPath& path, const FolderEntry* entry) = 0;
  // The walk takes up this folder from the work list (progress display).
  virtual void ShowFolder(const WalkPath& folder) = 0;
  virtual bool CancelRequested() = 0;
};

// Ordered list of folders still to be walked, with a current element.
class FolderWorkList {
 public:
  void Clear();
  bool Empty() const { return folders_.empty(); }
  size_t Count() const { return folders_.size(); }
  // Inserts directly after the current element (at the front when there is
  // none) and makes the new element current.
  void InsertAfterCurrent(WalkPath folder);
  void Append(WalkPath folder);
  // Makes the first element current and returns it.
  const WalkPath& TakeUpFirst();
  // Removes the first element; the current element is then none.
  void RemoveFirst();
  const std::deque<WalkPath>& Folders() const { return folders_; }

 private:
  std::deque<WalkPath> folders_;
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t current_ = kNone;
};

// Lists one folder: each entry other than "." and ".." has its streams
// scanned; each subfolder that is not a reparse point is put into the work
// list behind the current element, in listing order. A cancel request stops
// the listing before the next entry.
void WalkOneFolder(const WalkPath& folder, FolderWorkList& workList, FolderWalkHost& host);

// The walk of a folder given by path: its own streams, its entries, then the
// work list until it is empty or a cancel request comes.
void WalkFolderTree(const WalkPath& folder, FolderWorkList& workList, FolderWalkHost& host);

// The walk of all drives: each root taken by IsDriveTaken (in list order) goes
// into the work list and has its own streams scanned; then the work list is
// walked, one drive tree after the other (each drive its own tree, numbered
// from 0 in the order taken).
void WalkDriveTrees(const std::vector<std::string>& roots, DriveProbe& probe,
                    FolderWorkList& workList, FolderWalkHost& host);

}  // namespace tarvex
