// Stream scans in the German locale: the not-scanned entries take the German
// texts of the message table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine_api.h"
#include "stream_test_files.h"

using namespace tarvex_test;

TEST(GermanStreamScan, NotScannedEntriesUseTheGermanTexts) {
  ASSERT_STREQ("1", getenv("TARVEX_EXPECT_GERMAN")) << "run with LC_ALL=de_DE.UTF-8";
  EngineApi& api = Engine();
  ASSERT_TRUE(api.Complete());
  TempFolder folder("streams-german");
  ASSERT_TRUE(folder.Ok());
  ASSERT_TRUE(PutFile(folder.Wide(L"leer.txt"), ""));
  struct Case {
    std::string path;
    std::string message;
    const char* errorNumber;
  } cases[] = {
      {folder.Ansi("leer.txt"), "ReadFile -> Keine Daten!", "0"},
      {folder.Ansi("fehlt.txt"), "ReadFile -> " + SystemText(2), "2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(-1, api.TarvexAds2(c.path.c_str(), 0));
    const auto entries = ReadEntries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("nicht gescannt (0)", entries[1].isMalware);
    EXPECT_EQ(c.message, entries[1].scannermessage);
    EXPECT_EQ(c.errorNumber, entries[1].scannerErrornumber);
  }
}
