// The memory of a 64-bit process that the x86 engine cannot reach: its walk
// ends at 2 GiB, so on 64-bit Windows a 64-bit process gets one "not scanned"
// entry for the rest of its address space. The x64 engine, and the x86 engine
// scanning a 32-bit process, reach everything and add no such entry.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "engine_api.h"
#include "notification_window.h"
#include "process_fixture.h"
#include "test_provider.h"
#include "win32_handles.h"

using namespace tarvex_test;

namespace {

constexpr DWORD kScanTimeoutMs = 300000;
const char* const kOutOfReachTarget = "Address 0x80000000 - 0x800000000000";
const char* const kOutOfReachMessage =
    "Out of reach of the 32-bit engine; scan this process with the 64-bit engine! ";

bool RunsUnderWow64(HANDLE process) {
  BOOL wow64 = FALSE;
  return IsWow64Process(process, &wow64) && wow64;
}

struct NativeProcess {
  DWORD pid = 0;
  std::string name;
};

// A long-lived process of the system's own bitness (not under WOW64) that can
// be read: one of the prefix's service processes where there is one, else any
// but the idle and the system process. A process that is ending has no
// memory left to walk.
NativeProcess FindNativeProcess() {
  static const char* const kLongLived[] = {"services.exe", "plugplay.exe", "winedevice.exe",
                                           "explorer.exe", "svchost.exe",  "rpcss.exe"};
  NativeProcess preferred;
  NativeProcess any;
  const tarvex::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more;
       more = Process32Next(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID <= 4 || entry.th32ProcessID == GetCurrentProcessId()) continue;
    const tarvex::UniqueHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID));
    if (!process || RunsUnderWow64(process.Get())) continue;
    if (any.pid == 0) any = {entry.th32ProcessID, entry.szExeFile};
    for (const char* name : kLongLived) {
      if (preferred.pid == 0 && lstrcmpiA(entry.szExeFile, name) == 0) {
        preferred = {entry.th32ProcessID, entry.szExeFile};
      }
    }
  }
  return preferred.pid != 0 ? preferred : any;
}

std::vector<Entry> ScanPid(DWORD pid, const std::string& name) {
  NotificationWindow window;
  EXPECT_EQ(0, Engine().TarvexProcessWithPid(window.Window(), &NotificationWindow::TimerProc,
                                             static_cast<intptr_t>(pid), name.c_str(), 0));
  EXPECT_TRUE(window.WaitForNotification(kScanTimeoutMs)) << "no notification";
  std::vector<Entry> entries = ReadEntries();
  if (!entries.empty()) entries.erase(entries.begin());
  return entries;
}

size_t OutOfReachEntries(const std::vector<Entry>& entries) {
  size_t count = 0;
  for (const Entry& entry : entries) {
    if (entry.scantarget == kOutOfReachTarget) ++count;
  }
  return count;
}

TEST(Wow64ProcessReach, A64BitProcessIsNeverReadAsWhollyScanned) {
  ASSERT_TRUE(Engine().Complete()) << "engine or an export missing";
  ClearProviderSettings();
  const NativeProcess target = FindNativeProcess();
  ASSERT_NE(0u, target.pid) << "no readable process of the system's bitness";
  const auto entries = ScanPid(target.pid, target.name);
  if (!RunsUnderWow64(GetCurrentProcess())) {
    EXPECT_EQ(0u, OutOfReachEntries(entries)) << "the x64 engine reaches all of " << target.name;
    return;
  }
  // The x86 engine under WOW64: one entry, the last, for everything above 2 GiB.
  ASSERT_EQ(1u, OutOfReachEntries(entries)) << target.name;
  ASSERT_FALSE(entries.empty());
  const Entry& last = entries.back();
  EXPECT_EQ(kOutOfReachTarget, last.scantarget);
  EXPECT_EQ(entries.front().processName, last.processName);
  EXPECT_FALSE(last.processName.empty());
  EXPECT_EQ(std::to_string(target.pid), last.processId);
  EXPECT_EQ("not scanned", last.isMalware);
  EXPECT_EQ(kOutOfReachMessage, last.scannermessage);
  EXPECT_EQ("299", last.scannerErrornumber);
}

TEST(Wow64ProcessReach, AProcessOfTheEnginesOwnBitnessIsReachedWhole) {
  ASSERT_TRUE(Engine().Complete()) << "engine or an export missing";
  ClearProviderSettings();
  MemoryHolder holder;  // built for the engine's bitness
  ASSERT_TRUE(holder.Ready());
  const auto entries = ScanPid(holder.Pid(), "memory_holder.exe");
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(0u, OutOfReachEntries(entries));
  EXPECT_EQ(1, Engine().GetScanResult());
}

}  // namespace
