// Bounded engine texts: CR LF folding, cuts, and the scan object text that
// another thread polls while it is rewritten.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "scan_object_text.h"
#include "text_limits.h"

using namespace tarvex;

TEST(TextLimits, CrLfPairsBecomeOneBlank) {
  EXPECT_EQ("File not found. ", ReplaceCrLfWithBlank("File not found.\r\n"));
  EXPECT_EQ("a b c", ReplaceCrLfWithBlank("a\r\nb\r\nc"));
  EXPECT_EQ("a\rb\nc ", ReplaceCrLfWithBlank("a\rb\nc\r\n"));
  EXPECT_EQ("x\r ", ReplaceCrLfWithBlank("x\r\r\n"));
  EXPECT_EQ("", ReplaceCrLfWithBlank(""));
}

TEST(TextLimits, AppendAndCutStayWithinTheLimit) {
  std::string text = "AmsiInitialize: ";
  AppendWithin(text, std::string(kSessionNoteMaxChars, 'x'), kSessionNoteMaxChars);
  EXPECT_EQ(kSessionNoteMaxChars, text.size());
  EXPECT_EQ(0u, text.find("AmsiInitialize: "));
  std::string full(kMessageAreaMaxChars + 10, 'y');
  CutTo(full, kMessageAreaMaxChars);
  EXPECT_EQ(kMessageAreaMaxChars, full.size());
  std::string shortText = "ab";
  AppendWithin(shortText, "cd", 3);
  EXPECT_EQ("abc", shortText);
}

TEST(ScanObjectText, KeepsAtMostTheLimitAndClears) {
  static ScanObjectText text;
  EXPECT_STREQ("", text.Data());
  text.Set("C:\\data\\file.txt:hidden");
  EXPECT_STREQ("C:\\data\\file.txt:hidden", text.Data());
  const std::string huge(kScanObjectMaxChars + 500, 'p');
  text.Set(huge);
  EXPECT_EQ(kScanObjectMaxChars, std::strlen(text.Data()));
  text.Set("short");
  EXPECT_STREQ("short", text.Data());
  const char* address = text.Data();
  text.Clear();
  EXPECT_STREQ("", text.Data());
  EXPECT_EQ(address, text.Data());
  for (size_t i = 0; i <= kScanObjectMaxChars; ++i) ASSERT_EQ('\0', text.Data()[i]) << i;
}

TEST(ScanObjectText, HeldEmptyUntilTheNextClear) {
  static ScanObjectText text;
  text.Set("C:\\walk\\a.txt");
  text.ClearAndHold();
  EXPECT_STREQ("", text.Data());
  text.Set("C:\\walk\\b.txt");  // a scanner that has not reached its checkpoint yet
  EXPECT_STREQ("", text.Data());
  text.Clear();
  text.Set("C:\\next\\c.txt");
  EXPECT_STREQ("C:\\next\\c.txt", text.Data());
}

TEST(ScanObjectText, AHoldSurvivesTheClearAtTheStartOfAJob) {
  static ScanObjectText text;
  // A cancel after the export returned and before the job began.
  text.ClearAndHold();
  text.ClearKeepingHold();  // the job begins
  text.Set("C:\\walk\\first.txt");
  EXPECT_STREQ("", text.Data());
  text.Clear();  // the job ends
  text.Set("C:\\next\\a.txt");
  EXPECT_STREQ("C:\\next\\a.txt", text.Data());
  // Without a hold, the clear at the start of a job empties the text and no more.
  text.ClearKeepingHold();
  EXPECT_STREQ("", text.Data());
  text.Set("C:\\next\\b.txt");
  EXPECT_STREQ("C:\\next\\b.txt", text.Data());
}

TEST(ScanObjectText, ReaderOnAnotherThreadAlwaysFindsATerminatorWithinTheLimit) {
  static ScanObjectText text;
  std::atomic<bool> done{false};
  std::atomic<long> reads{0};
  std::atomic<long> bad{0};
  std::thread reader([&] {
    while (!done.load()) {
      // Same bound a caller has: the text plus its terminator.
      const void* end = std::memchr(text.Data(), 0, kScanObjectMaxChars + 1);
      if (end == nullptr) bad++;
      reads++;
    }
  });
  const std::string lengths[] = {std::string(kScanObjectMaxChars + 100, 'a'), std::string(3, 'b'),
                                 std::string(70000, 'c'), std::string(), std::string(1, 'd')};
  for (int round = 0; round < 4000; ++round) {
    const std::string& next = lengths[round % 5];
    if (round % 7 == 0) {
      text.Clear();
    } else {
      text.Set(next);
    }
  }
  done = true;
  reader.join();
  EXPECT_EQ(0, bad.load());
  EXPECT_GT(reads.load(), 0);
}
