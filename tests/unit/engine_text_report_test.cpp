// The fixed-width text report, in both languages.
#include <gtest/gtest.h>

#include <string>

#include "message_table.h"
#include "result_list.h"
#include "text_report.h"

using tarvex::MessageRow;
using tarvex::ResultEntry;
using tarvex::ResultList;

namespace {

ResultEntry Titles(int language) {
  auto t = [language](MessageRow row) { return std::string(tarvex::MessageText(row, language)); };
  return {t(MessageRow::ProcessNameTitle),    t(MessageRow::ProcessIdTitle),
          t(MessageRow::ScantargetTitle),     t(MessageRow::IsMalwareTitle),
          t(MessageRow::ScannermessageTitle), t(MessageRow::ErrornumberTitle)};
}

std::string Pad(const std::string& text, size_t width) {
  return text + std::string(width - text.size(), ' ');
}

const auto kNever = [] { return false; };

}  // namespace

TEST(TextReport, NoEntriesGivesHeaderAndRuleOnly) {
  ResultList list;
  list.StartWithTitles(Titles(tarvex::kEnglish));
  const std::string report = tarvex::BuildTextReport(list, kNever);
  const std::string header =
      "Prozessfilename   Process-ID   Scantarget   Is it Malware?   Scannermessage   Scanner "
      "Errorcode   ";
  ASSERT_EQ(98u, header.size());
  EXPECT_EQ(header + "\r\n" + std::string(98, '_') + "\r\n", report);
}

TEST(TextReport, GermanTitlesGiveTheirOwnWidths) {
  ResultList list;
  list.StartWithTitles(Titles(tarvex::kGerman));
  const std::string report = tarvex::BuildTextReport(list, kNever);
  const std::string header =
      "Processdateiname   Prozess-ID   Scanziel   Malware gefunden?   "
      "Meldung des Scanners   Fehlercode   ";
  EXPECT_EQ(header + "\r\n" + std::string(header.size(), '_') + "\r\n", report);
  EXPECT_EQ(13, list.Widths()[tarvex::kScannerErrornumber]);
}

TEST(TextReport, EntriesArePaddedToTheWidestCellOfTheirColumn) {
  ResultList list;
  list.StartWithTitles(Titles(tarvex::kEnglish));
  const std::string longTarget(40, 't');
  list.Append({"", "", longTarget, "yes (32768)", "The operation completed successfully.  ", "0"});
  list.Append({"proc.exe", "42", "b", "no (1)", "x ", "5"});
  const std::string report = tarvex::BuildTextReport(list, kNever);

  const size_t widths[6] = {18, 13, 43, 17, 42, 20};
  auto line = [&](const std::string(&cells)[6]) {
    std::string out;
    for (int i = 0; i < 6; ++i) out += Pad(cells[i], widths[i]);
    return out + "\r\n";
  };
  const std::string titles[6] = {"Prozessfilename", "Process-ID",     "Scantarget",
                                 "Is it Malware?",  "Scannermessage", "Scanner Errorcode"};
  const std::string first[6] = {
      "", "", longTarget, "yes (32768)", "The operation completed successfully.  ", "0"};
  const std::string second[6] = {"proc.exe", "42", "b", "no (1)", "x ", "5"};
  size_t total = 0;
  for (size_t w : widths) total += w;
  EXPECT_EQ(line(titles) + std::string(total, '_') + "\r\n" + line(first) + line(second), report);
}

TEST(TextReport, CancelledJobKeepsHeaderAndRuleWithoutEntries) {
  ResultList list;
  list.StartWithTitles(Titles(tarvex::kEnglish));
  list.Append({"", "", "a", "no (1)", "m", "0"});
  const std::string report = tarvex::BuildTextReport(list, [] { return true; });
  EXPECT_EQ(2, std::count(report.begin(), report.end(), '\n'));
  // The walk stopped on the title entry: the next read gives the first entry.
  EXPECT_STREQ("a", list.Next(tarvex::kScantarget));
}

TEST(TextReport, CancelDuringTheWalkStopsAddingLines) {
  ResultList list;
  list.StartWithTitles(Titles(tarvex::kEnglish));
  for (int i = 0; i < 5; ++i)
    list.Append({"", "", "entry" + std::to_string(i), "no (1)", "m", "0"});
  int checks = 0;
  const std::string report = tarvex::BuildTextReport(list, [&] { return ++checks > 2; });
  EXPECT_EQ(4, std::count(report.begin(), report.end(), '\n'));  // header, rule, two entries
}

TEST(TextReport, EmptyListGivesEmptyReport) {
  ResultList list;
  EXPECT_EQ("", tarvex::BuildTextReport(list, kNever));
}
