// The image path lookup of the process scan, called directly with the real
// QueryFullProcessImageNameA, with none (systems before Vista lack it) and
// with stand-ins that fail or answer oddly.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "process_fixture.h"
#include "scanners/process_image_path.h"

using namespace tarvex;

namespace {

struct Call {
  int count = 0;
  DWORD flags = 99;
  DWORD capacityChars = 0;
  bool bufferCleared = false;
};
Call g_call;
const char* g_answer = "";
BOOL g_result = TRUE;

BOOL WINAPI StandIn(HANDLE, DWORD flags, LPSTR name, PDWORD size) {
  ++g_call.count;
  g_call.flags = flags;
  g_call.capacityChars = *size;
  g_call.bufferCleared = true;
  for (size_t i = 0; i < kImageNameBufferLength; i += 997) {
    if (name[i] != '\0') g_call.bufferCleared = false;
  }
  lstrcpyA(name, g_answer);
  *size = static_cast<DWORD>(lstrlenA(g_answer));
  return g_result;
}

}  // namespace

TEST(ProcessImagePath, MissingFunctionKeepsTheGivenName) {
  EXPECT_EQ("given.exe", ImagePathOrGivenName(GetCurrentProcess(), "given.exe", nullptr));
}

TEST(ProcessImagePath, SystemFunctionGivesTheFullPath) {
  auto query = reinterpret_cast<QueryImageNameFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
  ASSERT_NE(nullptr, query);
  const std::string path = ImagePathOrGivenName(GetCurrentProcess(), "given.exe", query);
  EXPECT_EQ(0, lstrcmpiA(tarvex_test::ProgramPath().c_str(), path.c_str())) << path;
}

TEST(ProcessImagePath, AnswerIsTakenOnlyWhenTheBufferHoldsText) {
  struct Case {
    const char* answer;
    BOOL result;
    const char* expected;
  } cases[] = {
      {"C:\\apps\\tool.exe", TRUE, "C:\\apps\\tool.exe"},
      {"", TRUE, "given.exe"},
      {"", FALSE, "given.exe"},
      // The result is not examined: text left in the buffer is taken.
      {"C:\\partial.exe", FALSE, "C:\\partial.exe"},
  };
  for (const Case& c : cases) {
    g_call = Call{};
    g_answer = c.answer;
    g_result = c.result;
    EXPECT_EQ(c.expected, ImagePathOrGivenName(GetCurrentProcess(), "given.exe", &StandIn));
    EXPECT_EQ(1, g_call.count);
    EXPECT_EQ(0u, g_call.flags);  // a Win32 path
    EXPECT_EQ(kImageNameCapacityChars, g_call.capacityChars);
    EXPECT_TRUE(g_call.bufferCleared);
  }
}
