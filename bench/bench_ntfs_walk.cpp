// The folder walk of an NTFS volume, one measurement per process
// (bench/run_ntfs_walk.sh alternates them and sets up D:):
//   bench_ntfs_walk.exe walk <folder>
//     TarvexAdsInFolder over the folder: the time to the end of the job (the
//     notification less its 333 ms elapse), the entries, the process's CPU
//     time and its working set before the walk and at its peak.
//   bench_ntfs_walk.exe floor <drive root> [stream list]
//     The floor of the indexed walk: $MFT's bytes read from the raw volume
//     (\\.\X:) in 1 MiB aligned pieces, then every folder listed by handle
//     with file ids, as the walk lists them. With a stream list (one
//     "path:stream" per line), also the work the walk cannot avoid on top:
//     each of those streams opened, read whole and handed to the test
//     provider's AmsiScanBuffer directly, timed apart.
// Each prints one line of key=value pairs.
#include <windows.h>

#include "bench_clock.h"
#include "bench_memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine_api.h"
#include "file_text.h"
#include "notification_window.h"
#include "provider_amsi.h"
#include "text_conversion.h"
#include "virtual_buffer.h"
#include "win32_handles.h"

namespace {

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& time) {
    return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

int RunWalk(const std::string& folder) {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  tarvex_test::NotificationWindow window;
  const WorkingSetMiB before = WorkingSetNow();
  const double cpuBefore = CpuSeconds();
  const double start = Now();
  api.TarvexAdsInFolder(window.Window(), &tarvex_test::NotificationWindow::TimerProc,
                        folder.c_str(), 0);
  if (!window.WaitForNotification(3600000)) {
    std::printf("error=no-notification\n");
    return 1;
  }
  const double seconds = Now() - start - 0.333;
  const double cpu = CpuSeconds() - cpuBefore;
  const WorkingSetMiB after = WorkingSetNow();
  std::printf("walk_ms=%.0f cpu_ms=%.0f entries=%zu ws_before_mib=%.1f ws_peak_mib=%.1f\n",
              seconds * 1e3, cpu * 1e3, tarvex_test::ReadEntries().size() - 1, before.current,
              after.peak);
  return 0;
}

uint16_t Le16(const unsigned char* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
uint32_t Le32(const unsigned char* at) {
  return Le16(at) | (static_cast<uint32_t>(Le16(at + 2)) << 16);
}
uint64_t Le64(const unsigned char* at) {
  return Le32(at) | (static_cast<uint64_t>(Le32(at + 4)) << 32);
}

struct Run {
  uint64_t lcn = 0;
  uint64_t clusterCount = 0;
};

// $MFT's runs from record 0 (fixups applied); false when they are not all
// there (an attribute list, which the benchmark's volumes do not have).
bool MftRuns(unsigned char* record, uint32_t recordLength, std::vector<Run>* runs,
             uint64_t* dataLength) {
  if (std::memcmp(record, "FILE", 4) != 0) return false;
  const uint16_t fixupOffset = Le16(record + 4);
  const uint16_t fixupCount = Le16(record + 6);
  for (uint16_t i = 1; i < fixupCount && i * 512u <= recordLength; ++i) {
    std::memcpy(record + i * 512 - 2, record + fixupOffset + 2 * i, 2);
  }
  for (uint32_t at = Le16(record + 0x14); at + 16 <= recordLength;) {
    const uint32_t type = Le32(record + at);
    const uint32_t length = Le32(record + at + 4);
    if (type == 0xFFFFFFFFu || length == 0 || at + length > recordLength) return false;
    if (type == 0x80 && record[at + 9] == 0 && record[at + 8] == 1) {
      *dataLength = Le64(record + at + 0x30);
      const unsigned char* pair = record + at + Le16(record + at + 0x20);
      const unsigned char* end = record + at + length;
      int64_t lcn = 0;
      uint64_t clusters = 0;
      while (pair < end && *pair != 0) {
        const int lengthBytes = *pair & 0x0F;
        const int offsetBytes = *pair >> 4;
        uint64_t count = 0;
        for (int i = lengthBytes - 1; i >= 0; --i) count = (count << 8) | pair[1 + i];
        int64_t delta = 0;
        for (int i = offsetBytes - 1; i >= 0; --i) {
          delta = (delta << 8) | pair[1 + lengthBytes + i];
        }
        if (offsetBytes > 0 && (pair[lengthBytes + offsetBytes] & 0x80) != 0) {
          delta -= int64_t{1} << (8 * offsetBytes);
        }
        lcn += delta;
        runs->push_back({static_cast<uint64_t>(lcn), count});
        clusters += count;
        pair += 1 + lengthBytes + offsetBytes;
      }
      // All of $DATA's runs are here when they reach its highest VCN.
      return !runs->empty() && Le64(record + at + 0x18) + 1 == clusters;
    }
    at += length;
  }
  return false;
}

// Lists every folder below root by handle, with file ids; returns the entries.
size_t ListEveryFolder(const std::wstring& root, size_t* folderCount) {
  std::vector<std::wstring> folders{L"\\\\?\\" + root};
  const tarvex::VirtualBuffer buffer(64u << 10);
  size_t entries = 0;
  *folderCount = 0;
  while (!folders.empty()) {
    const std::wstring folder = folders.back();
    folders.pop_back();
    ++*folderCount;
    const tarvex::UniqueFileHandle handle(CreateFileW(
        folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) continue;
    FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle.Get(), infoClass, buffer.Data(),
                                        static_cast<DWORD>(buffer.Length()))) {
      infoClass = FileIdBothDirectoryInfo;
      for (size_t at = 0;;) {
        const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.Data() + at);
        const std::wstring name(record->FileName, record->FileNameLength / 2);
        if (name != L"." && name != L"..") {
          ++entries;
          if ((record->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            folders.push_back(folder + (folder.back() == L'\\' ? L"" : L"\\") + name);
          }
        }
        if (record->NextEntryOffset == 0) break;
        at += record->NextEntryOffset;
      }
    }
  }
  return entries;
}

// Opens, reads and scans each listed stream as the walk's content scan does.
bool ScanStreamList(const std::string& listPath, size_t* streamCount) {
  ProviderAmsi provider;
  void* context = nullptr;
  if (!provider.Bind(GetModuleHandleA("amsi.dll")) ||
      FAILED(provider.initialize(L"bench_ntfs_walk.exe", &context))) {
    return false;
  }
  const std::string list = tarvex_test::ReadWholeFile(listPath);
  *streamCount = 0;
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    const std::wstring path = L"\\\\?\\" + tarvex::WideFromAnsi(list.substr(start, end - start));
    start = end + 1;
    const tarvex::UniqueFileHandle stream(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                      nullptr));
    if (!stream) return false;
    const DWORD length = GetFileSize(stream.Get(), nullptr);
    const tarvex::VirtualBuffer content(length);
    DWORD readLength = 0;
    if (!ReadFile(stream.Get(), content.Data(), length, &readLength, nullptr)) return false;
    int result = 0;
    provider.scan(context, content.Data(), readLength, path.c_str(), nullptr, &result);
    ++*streamCount;
  }
  provider.uninitialize(context);
  return true;
}

int RunFloor(const std::string& root, const std::string& streamList) {
  const double cpuBefore = CpuSeconds();
  const double start = Now();
  const std::wstring volumeName = L"\\\\.\\" + tarvex::WideFromAnsi(root.substr(0, 2));
  const tarvex::UniqueFileHandle volume(
      CreateFileW(volumeName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
  constexpr DWORD kPieceLength = 1u << 20;
  const tarvex::VirtualBuffer buffer(kPieceLength);
  auto readAt = [&](uint64_t offset, DWORD length) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD readLength = 0;
    return ReadFile(volume.Get(), buffer.Data(), length, &readLength, &at) && readLength == length;
  };
  if (!volume || !readAt(0, 4096) || std::memcmp(buffer.Data() + 3, "NTFS    ", 8) != 0) {
    std::printf("error=no-raw-ntfs-volume\n");
    return 1;
  }
  const uint32_t sectorLength = Le16(buffer.Data() + 0x0B);
  const uint8_t sectorsByte = buffer.Data()[0x0D];
  const uint32_t clusterLength =
      sectorLength * (sectorsByte <= 128 ? sectorsByte : 1u << (256 - sectorsByte));
  const auto recordByte = static_cast<int8_t>(buffer.Data()[0x40]);
  const uint32_t recordLength = recordByte > 0 ? recordByte * clusterLength : 1u << -recordByte;
  const uint64_t mftOffset = Le64(buffer.Data() + 0x30) * clusterLength;
  std::vector<Run> runs;
  uint64_t mftLength = 0;
  if (!readAt(mftOffset, 4096) || !MftRuns(buffer.Data(), recordLength, &runs, &mftLength)) {
    std::printf("error=mft-runs\n");
    return 1;
  }
  uint64_t readLength = 0;
  for (const Run& run : runs) {
    for (uint64_t done = 0; done < run.clusterCount * clusterLength && readLength < mftLength;) {
      const DWORD piece = static_cast<DWORD>(
          std::min<uint64_t>(kPieceLength, run.clusterCount * clusterLength - done));
      if (!readAt(run.lcn * clusterLength + done, piece)) {
        std::printf("error=mft-read\n");
        return 1;
      }
      done += piece;
      readLength += piece;
    }
  }
  const double mftSeconds = Now() - start;
  size_t folders = 0;
  const size_t entries = ListEveryFolder(tarvex::WideFromAnsi(root), &folders);
  const double seconds = Now() - start;
  const double cpu = CpuSeconds() - cpuBefore;
  size_t streams = 0;
  const double streamsStart = Now();
  if (!streamList.empty() && !ScanStreamList(streamList, &streams)) {
    std::printf("error=stream-list\n");
    return 1;
  }
  const double streamSeconds = Now() - streamsStart;
  std::printf(
      "floor_ms=%.0f cpu_ms=%.0f mft_ms=%.0f mft_mib=%.1f listing_ms=%.0f entries=%zu "
      "folders=%zu streams_ms=%.0f streams=%zu\n",
      seconds * 1e3, cpu * 1e3, mftSeconds * 1e3, static_cast<double>(readLength) / (1 << 20),
      (seconds - mftSeconds) * 1e3, entries, folders, streamSeconds * 1e3, streams);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!tarvex_test::Engine().Complete()) {
    std::printf("error=engine-not-found\n");
    return 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "walk") == 0) return RunWalk(argv[2]);
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "floor") == 0) {
    return RunFloor(argv[2], argc == 4 ? argv[3] : "");
  }
  std::printf("usage: bench_ntfs_walk.exe walk <folder> | floor <drive root> [stream list]\n");
  return 2;
}
