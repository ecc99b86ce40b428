// Stream and folder benchmarks of the engine against floors measured in the same run.
//   bench_streams.exe stream <file>
//     TarvexAds2 on the file against one CreateFile, one ReadFile and one
//     direct AmsiScanBuffer call with the same provider.
//   bench_streams.exe folder <folder>
//     TarvexAdsInFolder over the tree against a bare walk that lists every
//     folder, opens each entry with backup semantics and queries its streams.
// Each prints the medians of alternating rounds and the process's peak working set.
#include <windows.h>

#include "bench_clock.h"
#include "bench_memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine_api.h"
#include "notification_window.h"
#include "provider_amsi.h"
#include "stream_query.h"
#include "text_conversion.h"
#include "virtual_buffer.h"
#include "win32_handles.h"

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Floor of the stream scan: one open, one allocation, one read, one AMSI call.
bool FloorStreamScan(const std::string& path, void* context, AmsiScanBufferFn scan) {
  const tarvex::UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                  nullptr));
  if (!file) return false;
  const DWORD length = GetFileSize(file.Get(), nullptr);
  const tarvex::VirtualBuffer buffer(length);
  DWORD read = 0;
  ReadFile(file.Get(), buffer.Data(), length, &read, nullptr);
  int result = 0;
  scan(context, buffer.Data(), read, L"bench", nullptr, &result);
  return result == 1;
}

int RunStream(const std::string& path) {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  ProviderAmsi provider;
  if (!provider.Bind(GetModuleHandleA("amsi.dll"))) {
    std::printf("provider not found\n");
    return 1;
  }
  void* context = nullptr;
  provider.initialize(L"bench_streams.exe", &context);

  std::vector<double> floorTimes, engineTimes;
  for (int round = 0; round < 7; ++round) {
    double start = Now();
    if (!FloorStreamScan(path, context, provider.scan)) {
      std::printf("floor scan failed\n");
      return 1;
    }
    floorTimes.push_back(Now() - start);
    start = Now();
    if (api.TarvexAds2(path.c_str(), 0) != 0) {
      std::printf("engine scan did not come back clean\n");
      return 1;
    }
    engineTimes.push_back(Now() - start);
  }
  const double floor = Median(floorTimes);
  const double engine = Median(engineTimes);
  std::printf(
      "stream %s: floor %.1f ms, TarvexAds2 %.1f ms, ratio %.3f, peak working set %.1f MiB\n",
      path.c_str(), floor * 1e3, engine * 1e3, engine / floor, WorkingSetNow().peak);
  return 0;
}

// Floor of the folder walk: every folder listed, every entry opened with
// backup semantics and its streams queried into one reused buffer.
size_t FloorWalk(const std::wstring& root, tarvex::NtQueryInformationFileFn query,
                 std::vector<unsigned char>& buffer) {
  size_t entries = 0;
  std::vector<std::wstring> folders{root};
  while (!folders.empty()) {
    const std::wstring folder = folders.back();
    folders.pop_back();
    WIN32_FIND_DATAW data{};
    const tarvex::UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) continue;
    do {
      if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0)
        continue;
      const std::wstring path = folder + L"\\" + data.cFileName;
      const tarvex::UniqueFileHandle file(
          CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (file) {
        tarvex::IoStatusBlock io{};
        query(file.Get(), &io, buffer.data(), static_cast<ULONG>(buffer.size()),
              tarvex::kFileStreamInformation);
      }
      ++entries;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(path);
    } while (FindNextFileW(find.Get(), &data));
  }
  return entries;
}

int RunFolder(const std::string& root) {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  const tarvex::NtQueryInformationFileFn query = tarvex::StreamQuery();
  std::vector<unsigned char> buffer(655360);
  tarvex_test::NotificationWindow window;
  std::vector<double> floorTimes, engineTimes;
  size_t entries = 0;
  std::vector<double> ratios;
  for (int round = 0; round < 5; ++round) {
    double start = Now();
    entries = FloorWalk(tarvex::WideFromAnsi(root), query, buffer);
    floorTimes.push_back(Now() - start);
    window.ResetCalls();
    start = Now();
    api.TarvexAdsInFolder(window.Window(), &tarvex_test::NotificationWindow::TimerProc,
                          root.c_str(), 0);
    if (!window.WaitForNotification(600000)) {
      std::printf("no notification\n");
      return 1;
    }
    engineTimes.push_back(Now() - start);
    ratios.push_back((engineTimes.back() - 0.333) / floorTimes.back());
  }
  const double floor = Median(floorTimes);
  const double engine = Median(engineTimes);
  // The notification timer fires 333 ms after the job ends (its elapse is part of the interface).
  const double walk = engine - 0.333;
  std::printf(
      "folder %s: %zu entries; floor %.0f ms, TarvexAdsInFolder %.0f ms to the notification "
      "(%.0f ms without the 333 ms timer elapse), ratio %.3f (%.3f; median of the rounds' "
      "ratios %.3f); peak working set %.1f MiB\n",
      root.c_str(), entries, floor * 1e3, engine * 1e3, walk * 1e3, engine / floor, walk / floor,
      Median(ratios), WorkingSetNow().peak);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!tarvex_test::Engine().Complete()) {
    std::printf("engine not found\n");
    return 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "stream") == 0) return RunStream(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "folder") == 0) return RunFolder(argv[2]);
  std::printf("usage: bench_streams.exe stream <file> | folder <folder>\n");
  return 2;
}
