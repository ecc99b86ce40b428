// Result list: parallel fields, independent cursors, getter slots, column widths.
#include <gtest/gtest.h>

#include <string>

#include "result_list.h"

using tarvex::ResultEntry;
using tarvex::ResultList;

namespace {

ResultEntry Titles() {
  return {"Prozessfilename", "Process-ID",     "Scantarget",
          "Is it Malware?",  "Scannermessage", "Scanner Errorcode"};
}

ResultEntry Row(const std::string& target) { return {"", "", target, "no (1)", "ok ", "0"}; }

}  // namespace

TEST(ResultList, FieldNamesAreCaseSensitiveAndNullIsUnknown) {
  EXPECT_EQ(tarvex::kProcessName, ResultList::FieldFromName("ProcessName"));
  EXPECT_EQ(tarvex::kProcessId, ResultList::FieldFromName("ProcessID"));
  EXPECT_EQ(tarvex::kScantarget, ResultList::FieldFromName("Scantarget"));
  EXPECT_EQ(tarvex::kIsMalware, ResultList::FieldFromName("IsMalware"));
  EXPECT_EQ(tarvex::kScannermessage, ResultList::FieldFromName("Scannermessage"));
  EXPECT_EQ(tarvex::kScannerErrornumber, ResultList::FieldFromName("ScannerErrornumber"));
  for (const char* bad : {"scantarget", "", "ProcessId", "Scantarget ", "ScannerErrorNumber"}) {
    EXPECT_EQ(-1, ResultList::FieldFromName(bad)) << bad;
  }
  EXPECT_EQ(-1, ResultList::FieldFromName(nullptr));
}

TEST(ResultList, EmptyListReadsNothing) {
  ResultList list;
  EXPECT_EQ(0u, list.Size());
  EXPECT_EQ(nullptr, list.Next(tarvex::kProcessName));
  EXPECT_EQ(nullptr, list.Next(tarvex::kProcessName));
}

TEST(ResultList, CursorWalksToTheEndAndStaysThere) {
  ResultList list;
  list.StartWithTitles(Titles());
  list.Append(Row("first"));
  list.Append(Row("second"));
  EXPECT_EQ(3u, list.Size());

  list.SetToStart();
  EXPECT_STREQ("Scantarget", list.Next(tarvex::kScantarget));
  EXPECT_STREQ("first", list.Next(tarvex::kScantarget));
  EXPECT_STREQ("second", list.Next(tarvex::kScantarget));
  EXPECT_EQ(nullptr, list.Next(tarvex::kScantarget));
  EXPECT_EQ(nullptr, list.Next(tarvex::kScantarget));
  // The other cursors did not move.
  EXPECT_STREQ("Is it Malware?", list.Next(tarvex::kIsMalware));
  // Rewinding starts every field over.
  list.SetToStart();
  EXPECT_STREQ("Scantarget", list.Next(tarvex::kScantarget));
  EXPECT_STREQ("Is it Malware?", list.Next(tarvex::kIsMalware));
}

TEST(ResultList, SlotKeepsItsTextUntilTheNextReadOfTheSameField) {
  ResultList list;
  list.StartWithTitles(Titles());
  list.Append(Row("a"));
  list.SetToStart();
  const char* title = list.Next(tarvex::kScantarget);
  const char* other = list.Next(tarvex::kProcessId);
  EXPECT_STREQ("Scantarget", title);
  EXPECT_STREQ("Process-ID", other);
  EXPECT_STREQ("a", list.Next(tarvex::kScantarget));
  EXPECT_STREQ("Process-ID", other);
}

TEST(ResultList, StartWithTitlesEmptiesAndResetsWidths) {
  ResultList list;
  list.StartWithTitles(Titles());
  list.Append(Row(std::string(40, 'x')));
  EXPECT_EQ(43, list.Widths()[tarvex::kScantarget]);
  list.StartWithTitles(Titles());
  EXPECT_EQ(1u, list.Size());
  const int32_t expected[6] = {18, 13, 13, 17, 17, 20};
  for (int field = 0; field < tarvex::kFieldCount; ++field) {
    EXPECT_EQ(expected[field], list.Widths()[field]) << field;
  }
}

TEST(ResultList, WidthsGrowToTheLongestTextPlusThreeAndNeverShrink) {
  ResultList list;
  list.StartWithTitles(Titles());
  list.Append(Row(std::string(40, 'x')));
  list.Append(Row("short"));
  EXPECT_EQ(43, list.Widths()[tarvex::kScantarget]);
  EXPECT_EQ(18, list.Widths()[tarvex::kProcessName]);
}
