// Buffer scan benchmark: TarvexBuffer2 against direct AmsiScanBuffer calls on
// the same provider (the floor), for 1 KiB and 64 MiB blocks.
// Prints the per-job overhead in microseconds and the throughput ratio.
#include <windows.h>

#include "bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_api.h"
#include "provider_amsi.h"

int main() {
  tarvex_test::EngineApi& api = tarvex_test::Engine();
  if (!api.Complete()) {
    std::printf("engine not found\n");
    return 1;
  }
  ProviderAmsi provider;
  if (!provider.Bind(GetModuleHandleA("amsi.dll"))) {
    std::printf("provider not found\n");
    return 1;
  }
  void* context = nullptr;
  provider.initialize(L"bench_buffer.exe", &context);

  struct Size {
    const char* name;
    size_t length;
    int rounds;
  } sizes[] = {{"1 KiB", 1024, 2000}, {"64 MiB", size_t{64} << 20, 41}};
  std::printf("%-8s %14s %14s %12s %8s\n", "block", "floor [us]", "engine [us]", "overhead[us]",
              "ratio");
  for (const Size& size : sizes) {
    std::string block(size.length, 'a');
    for (size_t i = 0; i < block.size(); i += 4096) block[i] = static_cast<char>('a' + i % 26);
    // Floor and engine take turns, so that warm-up and drift hit both alike.
    std::vector<double> floorTimes, engineTimes;
    for (int round = 0; round < size.rounds; ++round) {
      double start = Now();
      int result = 0;
      provider.scan(context, &block[0], static_cast<ULONG>(block.size()), L"bench.bin", nullptr,
                    &result);
      floorTimes.push_back(Now() - start);
      start = Now();
      api.TarvexBuffer2("bench.bin", block.data(), block.size(), 0, "", "");
      engineTimes.push_back(Now() - start);
    }
    std::sort(floorTimes.begin(), floorTimes.end());
    std::sort(engineTimes.begin(), engineTimes.end());
    const double floor = floorTimes[floorTimes.size() / 2];
    const double engine = engineTimes[engineTimes.size() / 2];
    std::printf("%-8s %14.1f %14.1f %12.1f %8.3f\n", size.name, floor * 1e6, engine * 1e6,
                (engine - floor) * 1e6, engine / floor);
  }
  provider.uninitialize(context);
  return 0;
}
