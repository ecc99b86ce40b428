// Folder listings: the find functions, or a listing by handle with file ids.
#include "folder_listing.h"

#include <windows.h>

#include <cstddef>

#include "scanners/logic/directory_records.h"
#include "scanners/logic/path_forms.h"
#include "text_conversion.h"
#include "win32_handles.h"

namespace tarvex {
namespace {

static_assert(offsetof(FILE_ID_BOTH_DIR_INFO, FileAttributes) == kDirectoryRecordAttributesOffset,
              "FILE_ID_BOTH_DIR_INFO layout");
static_assert(offsetof(FILE_ID_BOTH_DIR_INFO, FileNameLength) == kDirectoryRecordNameLengthOffset,
              "FILE_ID_BOTH_DIR_INFO layout");
static_assert(offsetof(FILE_ID_BOTH_DIR_INFO, FileId) == kDirectoryRecordFileIdOffset,
              "FILE_ID_BOTH_DIR_INFO layout");
static_assert(offsetof(FILE_ID_BOTH_DIR_INFO, FileName) == kDirectoryRecordNameOffset,
              "FILE_ID_BOTH_DIR_INFO layout");

// Records of one directory query; a name takes at most 510 bytes, so 64 KiB
// holds a hundred entries or more per call.
constexpr size_t kRecordBufferLength = 64u << 10;

using GetFileInformationByHandleExFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID,
                                                     DWORD);

// Bound at run time: kernel32 has it from Windows Vista on, and the library
// still loads where it is missing (the walk then lists with the find functions).
GetFileInformationByHandleExFn FileInformationByHandleEx() {
  static const GetFileInformationByHandleExFn function = [] {
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (kernel32 == nullptr) return GetFileInformationByHandleExFn{};
    return reinterpret_cast<GetFileInformationByHandleExFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "GetFileInformationByHandleEx")));
  }();
  return function;
}

bool ListWithFindFunctions(const std::u16string& platformPath,
                           const std::function<bool(const FolderEntry&)>& onEntry) {
  WIN32_FIND_DATAW data{};
  UniqueFindHandle find(FindFirstFileW(WidePointer(ListingPattern(platformPath)), &data));
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

}  // namespace

bool ListFolderEntries(const std::u16string& platformPath, bool withFileReferences,
                       VirtualBuffer& recordBuffer,
                       const std::function<bool(const FolderEntry&)>& onEntry) {
  const GetFileInformationByHandleExFn query = FileInformationByHandleEx();
  if (!withFileReferences || query == nullptr) return ListWithFindFunctions(platformPath, onEntry);

  // The access and sharing the find functions open a folder with.
  UniqueFileHandle folder(CreateFileW(WidePointer(platformPath), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder) return false;
  if (recordBuffer.Data() == nullptr) recordBuffer = VirtualBuffer(kRecordBufferLength);
  if (recordBuffer.Data() == nullptr) return false;
  FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!query(folder.Get(), infoClass, recordBuffer.Data(),
               static_cast<DWORD>(recordBuffer.Length()))) {
      // The end of the listing, or a folder that cannot be listed at all.
      return infoClass == FileIdBothDirectoryInfo || GetLastError() == ERROR_NO_MORE_FILES;
    }
    infoClass = FileIdBothDirectoryInfo;
    const bool goOn = ReadDirectoryRecords(
        recordBuffer.Data(), recordBuffer.Length(), [&](const DirectoryRecord& record) {
          FolderEntry entry;
          entry.name = record.name;
          entry.isDirectory = (record.attributes & kFileAttributeDirectory) != 0;
          entry.isReparsePoint = (record.attributes & kFileAttributeReparsePoint) != 0;
          entry.fileReference = record.fileId;
          return onEntry(entry);
        });
    if (!goOn) return true;
  }
}

}  // namespace tarvex
