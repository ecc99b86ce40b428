// A stream beyond 2 GiB through TarvexAds2: the content past the 2 GiB mark
// reaches the provider. The file is sparse, but the scan holds it in memory.
#include <gtest/gtest.h>

#include <string>

#include "engine_api.h"
#include "stream_test_files.h"
#include "test_content.h"
#include "test_provider.h"
#include "win32_handles.h"

using namespace tarvex_test;

namespace {

TEST(LargeStream, ContentBeyondThe2GiBMarkIsScanned) {
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  TempFolder folder("large");
  ASSERT_TRUE(folder.Ok());
  const std::string path = folder.Ansi("big.bin");
  const uint64_t testStringOffset = 0x80000000ULL + 1000;
  const uint64_t length = 0x80000000ULL + 65536;
  {
    const tarvex::UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.Valid());
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(testStringOffset);
    ASSERT_TRUE(SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN));
    const std::string content = AntivirusTestString();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                          nullptr));
    at.QuadPart = static_cast<LONGLONG>(length);
    ASSERT_TRUE(SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
  }
  ResetProviderCallLog();
  EXPECT_EQ(1, api.TarvexAds2(path.c_str(), 0));
  const auto entries = ReadEntries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(path, entries[1].scantarget);
  EXPECT_EQ("yes (32768)", entries[1].isMalware);
  // The whole stream went to the provider.
  const auto scans = ProviderCalls("AmsiScanBuffer");
  ASSERT_EQ(1u, scans.size());
  EXPECT_EQ(0u, scans[0].find("AmsiScanBuffer length=" + std::to_string(length) + " "));
  DeleteFileA(path.c_str());
}

}  // namespace
