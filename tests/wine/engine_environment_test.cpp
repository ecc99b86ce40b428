// Suites that each need their own process or environment (see tests/CMakeLists.txt):
// a fresh engine, the German locale, Windows 7, and a missing or incomplete Amsi.dll.
#include <gtest/gtest.h>

#include <string>

#include "engine_api.h"
#include "notification_window.h"
#include "system_texts.h"
#include "test_content.h"
#include "test_provider.h"

using namespace tarvex_test;

namespace {

// Runs before any job in its own process.
TEST(FreshEngine, GettersBeforeAnyJob) {
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  EXPECT_EQ(0, api.GetScanlistSize());
  EXPECT_EQ(0, api.GetScanlistEntry("ProcessName"));
  EXPECT_EQ(-1, api.GetScanlistEntry("processname"));
  EXPECT_EQ(0, api.GetScanResult());
  EXPECT_EQ(0, api.IsAmsiAvailable());
  EXPECT_EQ(0, api.GetScanfileLength());
  EXPECT_STREQ("", reinterpret_cast<const char*>(api.GetScanfile()));
  EXPECT_EQ("", api.ScanObject());
  EXPECT_EQ(0, api.SetScanlistToStart());

  // A stale cancel before any job matches the empty procedure and is cleared
  // when the next job starts: that job runs normally and notifies.
  EXPECT_EQ(0, api.CancleScan(nullptr));
  NotificationWindow window;
  const std::string content = "after a stale cancel";
  api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "stale.bin", content.data(),
                   content.size(), 0, "", "");
  ASSERT_TRUE(window.WaitForNotification(10000));
  EXPECT_EQ(0, api.GetScanResult());
  EXPECT_EQ(2, api.IsAmsiAvailable());
}

TEST(German, EntriesAndReportUseTheGermanColumn) {
  ASSERT_STREQ("1", getenv("TARVEX_EXPECT_GERMAN")) << "run with LC_ALL=de_DE.UTF-8";
  EngineApi& api = Engine();
  const std::string bad = AntivirusTestString();
  EXPECT_EQ(1, api.TarvexBuffer2("datei.bin", bad.data(), bad.size(), 0, "", ""));
  auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("Processdateiname", entries[0].processName);
  EXPECT_EQ("Prozess-ID", entries[0].processId);
  EXPECT_EQ("Scanziel", entries[0].scantarget);
  EXPECT_EQ("Malware gefunden?", entries[0].isMalware);
  EXPECT_EQ("Meldung des Scanners", entries[0].scannermessage);
  EXPECT_EQ("Fehlercode", entries[0].scannerErrornumber);
  EXPECT_EQ("ja (32768)", entries[1].isMalware);

  const std::string clean = "sauber";
  EXPECT_EQ(0, api.TarvexBuffer2("x", clean.data(), clean.size(), 0, "", ""));
  EXPECT_EQ("nein (1)", ReadEntries()[1].isMalware);

  SetProviderSetting("TESTAMSI_FAIL_SCAN", "0x80004005");
  api.TarvexBuffer2("x", clean.data(), clean.size(), 0, "", "");
  SetProviderSetting("TESTAMSI_FAIL_SCAN", nullptr);
  entries = ReadEntries();
  EXPECT_EQ("nicht gescannt (0)", entries[1].isMalware);

  // Header widths follow the German titles and values: the last column is 10 + 3 wide.
  const std::string report = api.Report();
  // "nicht gescannt (0)" is one longer than its title, so that column has four blanks.
  const std::string header =
      "Processdateiname   Prozess-ID   Scanziel   Malware gefunden?    "
      "Meldung des Scanners";
  ASSERT_EQ(0u, report.find(header));
  const size_t lineEnd = report.find("\r\n");
  ASSERT_NE(std::string::npos, lineEnd);
  EXPECT_EQ("   Fehlercode   ", report.substr(lineEnd - 16, 16));
  EXPECT_EQ(std::string(lineEnd, '_'), report.substr(lineEnd + 2, lineEnd));
}

TEST(Win7Gate, NoAmsiCallAndEveryScanSaysNotSupported) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  ASSERT_EQ(6u, version.dwMajorVersion);
  ASSERT_EQ(1u, version.dwMinorVersion) << "this program must see Windows 7";
  EngineApi& api = Engine();
  const std::string bad = AntivirusTestString();
  EXPECT_EQ(-1, api.TarvexBuffer2("seven.bin", bad.data(), bad.size(), 0, "", ""));
  EXPECT_EQ(0, api.IsAmsiAvailable());
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("Scan is not supported on this system! (0)", entries[1].isMalware);
  EXPECT_EQ("119", entries[1].scannerErrornumber);
  EXPECT_EQ(SystemText(119), entries[1].scannermessage);
  EXPECT_EQ("", ProviderCallLog());
}

// Amsi.dll without AmsiScanBuffer on a system that passes the version gate.
TEST(PartialAmsi, NoNullFunctionIsCalledAndScansReportIt) {
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  ASSERT_NE(nullptr, GetModuleHandleA("amsi.dll"));
  ASSERT_EQ(nullptr, GetProcAddress(GetModuleHandleA("amsi.dll"), "AmsiScanBuffer"));
  const std::string bad = AntivirusTestString();
  EXPECT_EQ(-1, api.TarvexBuffer2("partial.bin", bad.data(), bad.size(), 0, "", ""));
  EXPECT_EQ(0, api.IsAmsiAvailable());
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("Scan is not supported on this system! (0)", entries[1].isMalware);
  EXPECT_EQ("119", entries[1].scannerErrornumber);
  // No AMSI function ran at all: no context was made that could not be scanned with.
  EXPECT_EQ("", ProviderCallLog());
}

// Amsi.dll cannot be loaded at all.
TEST(NoAmsi, ScansReportItAndTheJobEndsNormally) {
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  EXPECT_EQ(nullptr, GetModuleHandleA("amsi.dll"));
  NotificationWindow window;
  const std::string content = "anything";
  api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "none.bin", content.data(),
                   content.size(), 0, "", "");
  ASSERT_TRUE(window.WaitForNotification(10000));
  EXPECT_EQ(-1, api.GetScanResult());
  EXPECT_EQ(0, api.IsAmsiAvailable());
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("Scan is not supported on this system! (0)", entries[1].isMalware);
  EXPECT_EQ("119", entries[1].scannerErrornumber);
}

}  // namespace
