// Depth-first, pre-order walk of folder trees without recursion: folders still
// to be walked wait in a work list, and only one listing is open at a time.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "drive_selection.h"

namespace tarvex {

struct FolderEntry {
  std::u16string name;
  bool isDirectory = false;
  bool isReparsePoint = false;  // junctions, mount points, linked folders
};

// What the walk needs from the platform, and where its findings go.
class FolderWalkHost {
 public:
  virtual ~FolderWalkHost() = default;
  // Hands the folder's entries ("." and ".." included, as the system lists
  // them) to onEntry in listing order until onEntry returns false. Returns
  // false when the listing cannot be started.
  virtual bool ListFolder(const std::u16string& folderPath,
                          const std::function<bool(const FolderEntry&)>& onEntry) = 0;
  // Scans the named streams of a file or folder.
  virtual void ScanStreams(const std::u16string& path) = 0;
  // The walk takes up this folder from the work list (progress display).
  virtual void ShowFolder(const std::u16string& folderPath) = 0;
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
  void InsertAfterCurrent(std::u16string folderPath);
  void Append(std::u16string folderPath);
  // Makes the first element current and returns it.
  const std::u16string& TakeUpFirst();
  // Removes the first element; the current element is then none.
  void RemoveFirst();
  const std::deque<std::u16string>& Folders() const { return folders_; }

 private:
  std::deque<std::u16string> folders_;
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t current_ = kNone;
};

// Lists one folder: each entry other than "." and ".." has its streams
// scanned; each subfolder that is not a reparse point is put into the work
// list behind the current element, in listing order. A cancel request stops
// the listing before the next entry.
void WalkOneFolder(const std::u16string& folderPath, FolderWorkList& workList,
                   FolderWalkHost& host);

// The walk of a folder given by path: its own streams, its entries, then the
// work list until it is empty or a cancel request comes.
void WalkFolderTree(const std::u16string& folderPath, FolderWorkList& workList,
                    FolderWalkHost& host);

// The walk of all drives: each root taken by IsDriveTaken (in list order) goes
// into the work list and has its own streams scanned; then the work list is
// walked, one drive tree after the other.
void WalkDriveTrees(const std::vector<std::string>& roots, DriveProbe& probe,
                    FolderWorkList& workList, FolderWalkHost& host);

}  // namespace tarvex
