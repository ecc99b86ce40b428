// Processes of the system by executable name, from a Toolhelp snapshot.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "win32_handles.h"

namespace tarvex_test {

// Ids of the processes with this executable name (compared without case), in
// snapshot order.
inline std::vector<DWORD> ProcessIdsNamed(const std::string& executableName) {
  std::vector<DWORD> ids;
  const tarvex::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return ids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL read = Process32First(snapshot.Get(), &entry); read;
       read = Process32Next(snapshot.Get(), &entry)) {
    if (lstrcmpiA(entry.szExeFile, executableName.c_str()) == 0) ids.push_back(entry.th32ProcessID);
  }
  return ids;
}

// Ends every process with this executable name and waits (bounded) for each.
inline void EndProcessesNamed(const std::string& executableName) {
  for (DWORD id : ProcessIdsNamed(executableName)) {
    const tarvex::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (!process) continue;
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 5000);
  }
}

}  // namespace tarvex_test
