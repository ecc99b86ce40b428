// ScanProcesses: one Toolhelp snapshot, walked in its order; every process
// whose executable name is wanted goes to ScanProcessMemory.
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>

#include "engine_state.h"
#include "scanners.h"
#include "scanners/logic/process_names.h"
#include "win32_handles.h"

namespace tarvex {
namespace {

// The ANSI record: 304 bytes in x64, 296 in x86.
static_assert(sizeof(PROCESSENTRY32) == (sizeof(void*) == 8 ? 304 : 296),
              "PROCESSENTRY32 must be the ANSI record");

std::string SystemUpperCase(std::string text) {
  CharUpperA(&text[0]);  // a text address, never a single character: it is above 64 KiB
  return text;
}

std::string ExecutableName(const PROCESSENTRY32& entry) {
  return std::string(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
}

}  // namespace

void ScanProcesses(const std::string& executableName, int32_t findingsOnly) {
  const std::string wantedName = executableName;
  // A failed snapshot is INVALID_HANDLE_VALUE, on which the first read fails:
  // no process is visited and no entry is added.
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  BOOL read = snapshot ? Process32First(snapshot.Get(), &entry) : FALSE;
  while (read && !CancelRequested()) {
    const std::string name = ExecutableName(entry);
    if (IsProcessSelected(wantedName, name, &SystemUpperCase)) {
      Engine().scanObject.Set(name);
      ScanProcessMemory(static_cast<intptr_t>(entry.th32ProcessID), name, findingsOnly);
    }
    read = Process32Next(snapshot.Get(), &entry);
  }
}

}  // namespace tarvex
