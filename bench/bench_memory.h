// The working set of the benchmark's own process, in MiB.
#pragma once

#include <windows.h>

#include <psapi.h>

struct WorkingSetMiB {
  double current = 0;
  double peak = 0;
};

inline WorkingSetMiB WorkingSetNow() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return {static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0),
          static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0)};
}
