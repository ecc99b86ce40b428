// Paths in the system folder name the native system folder for every build:
// on 64-bit Windows the x86 engine runs under WOW64, which would redirect
// C:\Windows\System32 to SysWOW64 unless the engine switches that off for the
// paths it is given. A caller's path means what it means on the system.
#include <gtest/gtest.h>

#include <string>

#include "engine_api.h"
#include "stream_test_files.h"
#include "test_content.h"
#include "test_provider.h"

using namespace tarvex_test;

namespace {

bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// A file in the native system folder only, removed at the end. A 32-bit
// process reaches that folder as Sysnative; System32 is SysWOW64 to it.
class NativeSystemFile {
 public:
  NativeSystemFile(const std::string& name, const std::string& content) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    asGiven_ = std::string(windows) + "\\System32\\" + name;
    native_ = std::string(windows) + (RunsUnderWow64() ? "\\Sysnative\\" : "\\System32\\") + name;
    ok_ = PutFile(WideFromAnsi(native_), content);
  }
  ~NativeSystemFile() { DeleteFileA(native_.c_str()); }
  NativeSystemFile(const NativeSystemFile&) = delete;
  NativeSystemFile& operator=(const NativeSystemFile&) = delete;

  bool Ok() const { return ok_; }
  // The path as a caller writes it: C:\Windows\System32\<name>.
  const std::string& AsGiven() const { return asGiven_; }

 private:
  std::string asGiven_;
  std::string native_;
  bool ok_ = false;
};

TEST(Wow64Redirection, SystemFolderPathsNameTheNativeSystemFolder) {
  ASSERT_TRUE(Engine().Complete()) << "engine or an export missing";
  const std::string content = std::string("native only ") + MarkerText();
  const NativeSystemFile file("tarvex-native-" + std::to_string(GetCurrentProcessId()) + ".txt",
                              content);
  ASSERT_TRUE(file.Ok()) << "cannot write into the native system folder";
  if (RunsUnderWow64()) {
    // The test's own view is redirected: the file is not in SysWOW64.
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(file.AsGiven().c_str()));
  }

  ResetProviderCallLog();
  EXPECT_EQ(1, Engine().TarvexAds2(file.AsGiven().c_str(), 0));
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(file.AsGiven(), entries[1].scantarget);
  EXPECT_EQ("yes (16384)", entries[1].isMalware) << entries[1].scannermessage;
  EXPECT_EQ("0", entries[1].scannerErrornumber) << entries[1].scannermessage;
  const auto scans = ProviderCalls("AmsiScanBuffer");
  ASSERT_EQ(1u, scans.size());
  EXPECT_NE(std::string::npos, scans[0].find("length=" + std::to_string(content.size()) + " "))
      << scans[0];
}

}  // namespace
