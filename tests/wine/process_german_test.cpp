// Process scans in the German locale: the run targets and the not-scanned
// entries take the German texts of the message table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine_api.h"
#include "notification_window.h"
#include "process_fixture.h"

using namespace tarvex_test;

namespace {

std::vector<Entry> ScanPid(intptr_t pid, const char* name) {
  NotificationWindow window;
  EXPECT_EQ(0, Engine().TarvexProcessWithPid(window.Window(), &NotificationWindow::TimerProc, pid,
                                             name, 0));
  EXPECT_TRUE(window.WaitForNotification(120000));
  std::vector<Entry> entries = ReadEntries();
  if (!entries.empty()) entries.erase(entries.begin());
  return entries;
}

}  // namespace

TEST(GermanProcessScan, TargetsAndNotScannedEntriesUseTheGermanTexts) {
  ASSERT_STREQ("1", getenv("TARVEX_EXPECT_GERMAN")) << "run with LC_ALL=de_DE.UTF-8";
  ASSERT_TRUE(Engine().Complete());

  const auto failed = ScanPid(0, "Leerlauf");
  ASSERT_EQ(1u, failed.size());
  EXPECT_EQ("nicht gescannt", failed[0].isMalware);
  EXPECT_EQ(0u, failed[0].scannermessage.find("OpenProcess -> "));

#ifdef _WIN64
  const uint64_t hugeLength = uint64_t{40} << 30;
  void* probe = VirtualAlloc(nullptr, hugeLength, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  const bool bufferTooLarge = probe == nullptr;
  if (probe != nullptr) VirtualFree(probe, 0, MEM_RELEASE);
  MemoryHolder holder(bufferTooLarge ? "--huge-gib 40" : "");
#else
  const bool bufferTooLarge = false;
  MemoryHolder holder;
#endif
  ASSERT_TRUE(holder.Ready());
  const auto entries = ScanPid(holder.Pid(), "halter.exe");
  ASSERT_FALSE(entries.empty());
  bool detected = false;
  bool allocationEntry = false;
  for (const Entry& entry : entries) {
    EXPECT_EQ(0u, entry.scantarget.find("Adresse 0x")) << entry.scantarget;
    if (entry.isMalware == "ja (32768)") detected = true;
    if (entry.isMalware == "nicht gescannt") {
      EXPECT_EQ("Speicher konnte nicht bereitgestellt werden! ", entry.scannermessage);
      allocationEntry = true;
    }
  }
  EXPECT_TRUE(detected);
  EXPECT_EQ(bufferTooLarge, allocationEntry);
}
