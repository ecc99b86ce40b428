// The raw volume behind a walked tree, read in aligned pieces for the index.
#include "ntfs_volume.h"

#include <windows.h>
#include <winioctl.h>

#include <optional>
#include <vector>

#include "engine_state.h"
#include "scanners/logic/volume_identity.h"
#include "text_conversion.h"
#include "win32_handles.h"

namespace tarvex {
namespace {

// Attributes, volume serial number and file id of a file or folder, opened
// without data access (backup semantics open folders too).
bool QueryPathInformation(const std::u16string& platformPath,
                          BY_HANDLE_FILE_INFORMATION* information) {
  const UniqueFileHandle file(CreateFileW(WidePointer(platformPath), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && GetFileInformationByHandle(file.Get(), information) != FALSE;
}

uint64_t FileIdOf(const BY_HANDLE_FILE_INFORMATION& information) {
  return (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
}

std::optional<std::u16string> VolumePathOf(const std::u16string& platformPath) {
  // The volume path is never longer than the path it belongs to.
  std::vector<wchar_t> volumePath(platformPath.size() + MAX_PATH + 1, L'\0');
  if (!GetVolumePathNameW(WidePointer(platformPath), volumePath.data(),
                          static_cast<DWORD>(volumePath.size()))) {
    return std::nullopt;
  }
  return U16FromWide(volumePath.data());
}

// "\\.\X:" for a drive, "\\?\Volume{...}" for a volume mounted on a folder.
std::optional<std::u16string> RawVolumeOf(const std::u16string& platformPath) {
  const std::optional<std::u16string> volumePath = VolumePathOf(platformPath);
  if (!volumePath) return std::nullopt;
  if (std::optional<std::u16string> raw = RawVolumeName(*volumePath)) return raw;
  std::u16string mountPoint = *volumePath;
  if (mountPoint.empty() || mountPoint.back() != u'\\') mountPoint += u'\\';
  wchar_t volumeName[MAX_PATH] = {};
  if (!GetVolumeNameForVolumeMountPointW(WidePointer(mountPoint), volumeName, MAX_PATH)) {
    return std::nullopt;
  }
  return RawVolumeName(U16FromWide(volumeName));
}

// The NTFS driver's account of the volume; false where there is none (the
// volume is not NTFS, or the platform does not answer this request).
bool QueryFileSystemVolumeData(HANDLE volume, FileSystemVolumeData* data) {
  NTFS_VOLUME_DATA_BUFFER buffer{};
  DWORD returnedLength = 0;
  if (!DeviceIoControl(volume, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &buffer, sizeof buffer,
                       &returnedLength, nullptr) ||
      returnedLength < sizeof buffer) {
    return false;
  }
  data->volumeSerialNumber = static_cast<uint64_t>(buffer.VolumeSerialNumber.QuadPart);
  data->sectorLength = buffer.BytesPerSector;
  data->clusterLength = buffer.BytesPerCluster;
  data->recordLength = buffer.BytesPerFileRecordSegment;
  data->mftCluster = static_cast<uint64_t>(buffer.MftStartLcn.QuadPart);
  data->mftMirrorCluster = static_cast<uint64_t>(buffer.Mft2StartLcn.QuadPart);
  return true;
}

}  // namespace

uint64_t FileReferenceOf(const std::u16string& platformPath) {
  BY_HANDLE_FILE_INFORMATION information{};
  return QueryPathInformation(platformPath, &information) ? FileIdOf(information) : 0;
}

TreeIndexOutcome BuildTreeIndex(const WalkPath& treeStart, MftStreamIndex* index) {
  BY_HANDLE_FILE_INFORMATION start{};
  if (!QueryPathInformation(treeStart.platform, &start) ||
      (start.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return TreeIndexOutcome::kUnavailable;  // a file needs no index of its whole volume
  }
  const std::optional<std::u16string> rawVolume = RawVolumeOf(treeStart.platform);
  if (!rawVolume) return TreeIndexOutcome::kUnavailable;
  // Read-only. The file system holds the volume open for writing, so the
  // share mode must allow that. Volume handles are not cached: every read's
  // offset, length and buffer are sector multiples, as the reader promises.
  const UniqueFileHandle volume(CreateFileW(WidePointer(*rawVolume), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
  if (!volume) return TreeIndexOutcome::kUnavailable;
  const VolumeReadAt readAt = [&volume](uint64_t offset, unsigned char* buffer,
                                        size_t length) -> size_t {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD readLength = 0;
    if (!ReadFile(volume.Get(), buffer, static_cast<DWORD>(length), &readLength, &at)) return 0;
    return readLength;
  };
  MftIndexOptions options;
  options.cancelRequested = [] { return CancelRequested(); };
  switch (BuildMftStreamIndex(readAt, options, index).status) {
    case MftIndexStatus::kBuilt:
      break;
    case MftIndexStatus::kCancelled:
      return TreeIndexOutcome::kCancelled;
    default:
      return TreeIndexOutcome::kUnavailable;
  }
  // Where the NTFS driver describes the volume, it must be the one the boot
  // sector described and hold the walked folder. Where it does not (Wine's
  // raw volumes), the record check below is the only tie between the two.
  FileSystemVolumeData fileSystem;
  if (QueryFileSystemVolumeData(volume.Get(), &fileSystem) &&
      !VolumeAccountsAgree(index->Geometry(), fileSystem, start.dwVolumeSerialNumber)) {
    return TreeIndexOutcome::kUnavailable;
  }
  if (LookUpEntryStreams(index, FileIdOf(start), false, nullptr) == EntryStreams::kQueryFile) {
    return TreeIndexOutcome::kUnavailable;
  }
  return TreeIndexOutcome::kBuilt;
}

}  // namespace tarvex
