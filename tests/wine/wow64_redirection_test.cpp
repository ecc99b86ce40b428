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
    throughAlias_ = std::string(windows) + "\\Sysnative\\" + name;
    native_ = RunsUnderWow64() ? throughAlias_ : asGiven_;
    ok_ = PutFile(WideFromAnsi(native_), content);
  }
  ~NativeSystemFile() { DeleteFileA(native_.c_str()); }
  NativeSystemFile(const NativeSystemFile&) = delete;
  NativeSystemFile& operator=(const NativeSystemFile&) = delete;

  bool Ok() const { return ok_; }
  // The path as a caller writes it: C:\Windows\System32\<name>.
  const std::string& AsGiven() const { return asGiven_; }
  // The path a 32-bit program writes for the native file: C:\Windows\Sysnative\<name>.
  const std::string& ThroughAlias() const { return throughAlias_; }

 private:
  std::string asGiven_;
  std::string throughAlias_;
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

// The same file through the Sysnative alias, which a 32-bit caller uses for
// the native folder: the engine reads it while its redirection is off, and
// the entry names the path as the caller wrote it.
TEST(Wow64Redirection, SysnativePathsOfA32BitCallerNameTheNativeFile) {
  if (!RunsUnderWow64()) GTEST_SKIP() << "only a 32-bit program under WOW64 has the alias";
  ASSERT_TRUE(Engine().Complete()) << "engine or an export missing";
  const std::string content = std::string("native through the alias ") + MarkerText();
  const NativeSystemFile file("tarvex-alias-" + std::to_string(GetCurrentProcessId()) + ".txt",
                              content);
  ASSERT_TRUE(file.Ok()) << "cannot write into the native system folder";
  EXPECT_EQ(1, Engine().TarvexAds2(file.ThroughAlias().c_str(), 0));
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(file.ThroughAlias(), entries[1].scantarget);
  EXPECT_EQ("yes (16384)", entries[1].isMalware) << entries[1].scannermessage;
}

using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);

// A synchronous export runs the job on the caller's thread: it leaves the
// thread's redirection exactly as it found it, on or off.
TEST(Wow64Redirection, ASynchronousJobLeavesTheCallersRedirectionAsItFoundIt) {
  if (!RunsUnderWow64()) GTEST_SKIP() << "only the x86 engine under WOW64 switches redirection";
  ASSERT_TRUE(Engine().Complete()) << "engine or an export missing";
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto disable = reinterpret_cast<Wow64DisableFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
  const auto revert = reinterpret_cast<Wow64RevertFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
  ASSERT_NE(nullptr, disable);
  ASSERT_NE(nullptr, revert);
  const NativeSystemFile file("tarvex-state-" + std::to_string(GetCurrentProcessId()) + ".txt",
                              "native only");
  ASSERT_TRUE(file.Ok()) << "cannot write into the native system folder";
  // Whether this thread sees the native file under its System32 path.
  auto seesNative = [&] {
    return GetFileAttributesA(file.AsGiven().c_str()) != INVALID_FILE_ATTRIBUTES;
  };

  // Redirection on, as a thread has it: on again after the job.
  ASSERT_FALSE(seesNative());
  EXPECT_EQ(0, Engine().TarvexAds2(file.AsGiven().c_str(), 0));
  EXPECT_FALSE(seesNative());

  // Switched off by the caller: still off after the job.
  PVOID previous = nullptr;
  ASSERT_TRUE(disable(&previous));
  ASSERT_TRUE(seesNative());
  EXPECT_EQ(0, Engine().TarvexAds2(file.AsGiven().c_str(), 0));
  const bool stillOff = seesNative();
  revert(previous);
  EXPECT_TRUE(stillOff);
  EXPECT_FALSE(seesNative());
}

}  // namespace
