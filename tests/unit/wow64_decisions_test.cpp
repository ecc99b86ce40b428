// The x86 engine under WOW64: which paths go through System32 once the job
// has file-system redirection off, and which part of a process's memory the
// x86 walk cannot reach.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "native_system_paths.h"
#include "scanners/logic/address_reach.h"

using namespace tarvex;

namespace {

TEST(Wow64Paths, TheSysnativeAliasBecomesSystem32AndNothingElseChanges) {
  const std::u16string windows = u"C:\\Windows";
  struct Case {
    std::u16string path;
    std::optional<std::u16string> expected;
  } cases[] = {
      {u"C:\\Windows\\Sysnative\\drivers\\etc\\hosts",
       u"C:\\Windows\\System32\\drivers\\etc\\hosts"},
      {u"C:\\Windows\\Sysnative", u"C:\\Windows\\System32"},
      {u"C:\\Windows\\Sysnative\\", u"C:\\Windows\\System32\\"},
      {u"c:\\WINDOWS\\sysNATIVE\\a.dll:s", u"c:\\WINDOWS\\System32\\a.dll:s"},
      {u"C:/Windows/Sysnative/a.dll", u"C:/Windows/System32/a.dll"},
      {u"C:\\Windows\\System32\\a.dll", std::nullopt},
      {u"C:\\Windows\\SysnativeX\\a.dll", std::nullopt},
      {u"C:\\Windows\\Sysnativ", std::nullopt},
      {u"C:\\WindowsOld\\Sysnative\\a.dll", std::nullopt},
      {u"D:\\Windows\\Sysnative\\a.dll", std::nullopt},
      {u"C:\\Data\\Windows\\Sysnative\\a.dll", std::nullopt},
      {u"C:\\Windows", std::nullopt},
      {u"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, SysnativeAsSystem32(c.path, windows))
        << std::string(c.path.begin(), c.path.end());
  }
  // The Windows folder as the system may give it, with a trailing separator.
  EXPECT_EQ(std::u16string(u"E:\\WinNT\\System32\\x"),
            SysnativeAsSystem32(u"E:\\WinNT\\Sysnative\\x", u"E:\\WinNT\\"));
  EXPECT_EQ(std::nullopt, SysnativeAsSystem32(u"\\Sysnative\\x", u"\\"));
}

TEST(AddressReach, OnlyTheX86EngineUnderWow64MissesMemoryOfA64BitProcess) {
  struct Case {
    const char* what;
    unsigned engineBits;
    bool engineUnderWow64;
    std::optional<bool> targetUnderWow64;
    bool unreachable;
  } cases[] = {
      {"x64 engine, 64-bit target", 64, false, false, false},
      {"x64 engine, 32-bit target", 64, false, true, false},
      {"x86 engine on 32-bit Windows", 32, false, false, false},
      {"x86 engine under WOW64, 32-bit target", 32, true, true, false},
      {"x86 engine under WOW64, 64-bit target", 32, true, false, true},
      {"x86 engine under WOW64, bitness unknown", 32, true, std::nullopt, true},
  };
  for (const Case& c : cases) {
    const auto range = UnreachableMemory(c.engineBits, c.engineUnderWow64, c.targetUnderWow64);
    ASSERT_EQ(c.unreachable, range.has_value()) << c.what;
    if (range) {
      EXPECT_EQ(0x80000000u, range->start) << c.what;
      EXPECT_EQ(0x800000000000u, range->end) << c.what;
    }
  }
}

}  // namespace
