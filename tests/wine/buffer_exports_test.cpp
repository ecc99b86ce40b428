// Buffer scans through the exports: synchronous and asynchronous, verdicts,
// entries, the text report and what the engine passes to AMSI.
#include <gtest/gtest.h>

#include <string>

#include "engine_api.h"
#include "notification_window.h"
#include "program_folder.h"
#include "test_content.h"
#include "test_provider.h"

using namespace tarvex_test;

namespace {

class BufferExports : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Engine().Complete()) << "engine or an export missing";
    ClearProviderSettings();
    ResetProviderCallLog();
  }
  EngineApi& api = Engine();
};

TEST_F(BufferExports, SynchronousVerdictsFollowTheProvidersAnswer) {
  const std::string clean = "nothing to see here";
  const std::string detected = "prefix " + AntivirusTestString() + " suffix";
  const std::string marker = std::string("xx") + MarkerText();
  struct Case {
    const std::string* content;
    intptr_t verdict;
    const char* isMalware;
  } cases[] = {{&clean, 0, "no (1)"}, {&detected, 1, "yes (32768)"}, {&marker, 1, "yes (16384)"}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.verdict, api.TarvexBuffer2("memory.bin", c.content->data(), c.content->size(), 0,
                                           "proc.exe", "1234"));
    EXPECT_EQ(c.verdict, api.GetScanResult());
    const auto entries = ReadEntries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(c.isMalware, entries[1].isMalware);
    EXPECT_EQ("proc.exe", entries[1].processName);
    EXPECT_EQ("1234", entries[1].processId);
    EXPECT_EQ("memory.bin", entries[1].scantarget);
    EXPECT_EQ("0", entries[1].scannerErrornumber);
    EXPECT_EQ(2, api.IsAmsiAvailable());
  }
}

TEST_F(BufferExports, ProviderSeesBareExecutableNameContentNameAndNullSession) {
  const std::string content = "abc";
  api.TarvexBuffer2("my content name", content.data(), content.size(), 0, nullptr, nullptr);
  const auto init = ProviderCalls("AmsiInitialize");
  ASSERT_EQ(1u, init.size());
  EXPECT_EQ("AmsiInitialize app=" + ProgramFileName(), init[0]);
  const auto scans = ProviderCalls("AmsiScanBuffer");
  ASSERT_EQ(1u, scans.size());
  EXPECT_EQ("AmsiScanBuffer length=3 session=null context=valid name=my content name", scans[0]);
  EXPECT_EQ(1u, ProviderCalls("AmsiOpenSession").size());
  EXPECT_EQ(1u, ProviderCalls("AmsiCloseSession").size());
  EXPECT_EQ(1u, ProviderCalls("AmsiUninitialize").size());
}

TEST_F(BufferExports, AsynchronousJobNotifiesThroughTheTimerOnTheCallersThread) {
  NotificationWindow window;
  ASSERT_NE(nullptr, window.Handle());
  const std::string content = AntivirusTestString();
  EXPECT_EQ(0, api.TarvexBuffer(window.Window(), &NotificationWindow::TimerProc, "async.bin",
                                content.data(), content.size(), 0, "", ""));
  ASSERT_TRUE(window.WaitForNotification(10000));
  EXPECT_EQ(static_cast<uintptr_t>(TARVEX_NOTIFY_TIMER_ID), window.LastTimerId());
  EXPECT_EQ(static_cast<unsigned>(WM_TIMER), window.LastMessage());
  EXPECT_TRUE(window.CalledOnOwnerThread());
  EXPECT_EQ(1, api.GetScanResult());
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("yes (32768)", entries[1].isMalware);
  // The timer procedure killed the timer: no second notification follows.
  EXPECT_EQ(1, window.PumpFor(800));
}

}  // namespace
