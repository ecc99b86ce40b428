// Folder and drive walk over a work list.
#include "folder_walk.h"

#include "path_forms.h"

namespace tarvex {

void FolderWorkList::Clear() {
  folders_.clear();
  current_ = kNone;
}

WalkPath EntryWalkPath(const WalkPath& folder, const std::u16string& name) {
  return WalkPath{EntryPath(folder.text, name), EntryPath(folder.platform, name), folder.tree};
}

WalkPath DriveRootWalkPath(const std::string& root, size_t tree) {
  const std::u16string wideRoot(root.begin(), root.end());  // drive roots are ASCII
  return WalkPath{wideRoot, LongPathForm(wideRoot), tree};
}

void FolderWorkList::InsertAfterCurrent(WalkPath folder) {
  const size_t position = current_ == kNone ? 0 : current_ + 1;
  folders_.insert(folders_.begin() + static_cast<std::ptrdiff_t>(position), std::move(folder));
  current_ = position;
}

void FolderWorkList::Append(WalkPath folder) { folders_.push_back(std::move(folder)); }

const WalkPath& FolderWorkList::TakeUpFirst() {
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
    const WalkPath folder = workList.TakeUpFirst();
    host.ShowFolder(folder);
    WalkOneFolder(folder, workList, host);
    workList.RemoveFirst();
  }
}

}  // namespace

void WalkOneFolder(const WalkPath& folder, FolderWorkList& workList, FolderWalkHost& host) {
  host.ListFolder(folder, [&](const FolderEntry& entry) {
    if (host.CancelRequested()) return false;
    if (!entry.isDirectory) {
      host.ScanStreams(EntryWalkPath(folder, entry.name), &entry);
      return true;
    }
    if (IsDotEntry(entry.name)) return true;
    WalkPath path = EntryWalkPath(folder, entry.name);
    host.ScanStreams(path, &entry);
    if (!entry.isReparsePoint) workList.InsertAfterCurrent(std::move(path));
    return true;
  });
}

void WalkFolderTree(const WalkPath& folder, FolderWorkList& workList, FolderWalkHost& host) {
  workList.Clear();
  host.ScanStreams(folder, nullptr);
  WalkOneFolder(folder, workList, host);
  WalkWorkList(workList, host);
}

void WalkDriveTrees(const std::vector<std::string>& roots, DriveProbe& probe,
                    FolderWorkList& workList, FolderWalkHost& host) {
  workList.Clear();
  size_t tree = 0;
  for (const std::string& root : roots) {
    if (host.CancelRequested()) break;
    if (!IsDriveTaken(root, probe)) continue;
    WalkPath rootPath = DriveRootWalkPath(root, tree++);
    workList.Append(rootPath);
    host.ScanStreams(rootPath, nullptr);
  }
  WalkWorkList(workList, host);
}

}  // namespace tarvex
