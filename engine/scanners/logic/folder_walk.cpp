// Folder and drive walk over a work list.
#include "folder_walk.h"

#include "path_forms.h"

namespace tarvex {

void FolderWorkList::Clear() {
  folders_.clear();
  current_ = kNone;
}

void FolderWorkList::InsertAfterCurrent(std::u16string folderPath) {
  const size_t position = current_ == kNone ? 0 : current_ + 1;
  folders_.insert(folders_.begin() + static_cast<std::ptrdiff_t>(position), std::move(folderPath));
  current_ = position;
}

void FolderWorkList::Append(std::u16string folderPath) {
  folders_.push_back(std::move(folderPath));
}

const std::u16string& FolderWorkList::TakeUpFirst() {
  current_ = 0;
  return folders_.front();
}

void FolderWorkList::RemoveFirst() {
  folders_.pop_front();
  current_ = kNone;
}

namespace {

bool IsDotEntry(const std::u16string& name) { return name == u"." || name == u".."; }

void WalkWorkList(FolderWorkList& workList, FolderWalkHost& host) {
  while (!workList.Empty() && !host.CancelRequested()) {
    // A copy: walking the folder inserts into the list.
    const std::u16string folderPath = workList.TakeUpFirst();
    host.ShowFolder(folderPath);
    WalkOneFolder(folderPath, workList, host);
    workList.RemoveFirst();
  }
}

}  // namespace

void WalkOneFolder(const std::u16string& folderPath, FolderWorkList& workList,
                   FolderWalkHost& host) {
  host.ListFolder(folderPath, [&](const FolderEntry& entry) {
    if (host.CancelRequested()) return false;
    if (!entry.isDirectory) {
      host.ScanStreams(EntryPath(folderPath, entry.name));
      return true;
    }
    if (IsDotEntry(entry.name)) return true;
    std::u16string path = EntryPath(folderPath, entry.name);
    host.ScanStreams(path);
    if (!entry.isReparsePoint) workList.InsertAfterCurrent(std::move(path));
    return true;
  });
}

void WalkFolderTree(const std::u16string& folderPath, FolderWorkList& workList,
                    FolderWalkHost& host) {
  workList.Clear();
  host.ScanStreams(folderPath);
  WalkOneFolder(folderPath, workList, host);
  WalkWorkList(workList, host);
}

void WalkDriveTrees(const std::vector<std::string>& roots, DriveProbe& probe,
                    FolderWorkList& workList, FolderWalkHost& host) {
  workList.Clear();
  for (const std::string& root : roots) {
    if (host.CancelRequested()) break;
    if (!IsDriveTaken(root, probe)) continue;
    const std::u16string wideRoot(root.begin(), root.end());  // drive roots are ASCII
    workList.Append(wideRoot);
    host.ScanStreams(wideRoot);
  }
  WalkWorkList(workList, host);
}

}  // namespace tarvex
