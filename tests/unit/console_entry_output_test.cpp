// CSV and JSON forms of the result entries, read back the way a script does.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "console_entry_output.h"
#include "csv_json.h"

namespace tarvex::console {
namespace {

// Windows-1252 to UTF-8 for the bytes the tests use (Latin-1 range).
std::string Latin1ToUtf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::vector<ConsoleEntry> SampleEntries() {
  return {
      {"", "",
       "C:\\Gr\xFC\xDF"
       "e\\a.txt:s",
       "yes (32768)", "The operation completed successfully. ", "0"},
      {"svc.exe", "1234", "svc.exe Address 0x7FF0000", "not scanned",
       "ReadProcessMemory -> Access is denied. ", "5"},
      {"", "", "C:\\q\"uote,comma\r\nline.txt", " (1)", "", "0"},
  };
}

using tarvex_test::ReadCsv;

TEST(ConsoleEntryOutput, CsvHeaderAndQuotedCellsReadBack) {
  const std::string csv = FormatCsv(SampleEntries(), Latin1ToUtf8);
  EXPECT_EQ(csv.rfind("ProcessName,ProcessID,Scantarget,IsMalware,Scannermessage,"
                      "ScannerErrornumber,Outcome\r\n",
                      0),
            0u);
  const auto rows = ReadCsv(csv);
  ASSERT_EQ(rows.size(), 4u) << csv;
  for (const auto& row : rows) EXPECT_EQ(row.size(), 7u);
  EXPECT_EQ(rows[1][2],
            "C:\\Gr\xC3\xBC\xC3\x9F"
            "e\\a.txt:s");
  EXPECT_EQ(rows[1][3], "yes (32768)");
  EXPECT_EQ(rows[1][6], "detected");
  EXPECT_EQ(rows[2][0], "svc.exe");
  EXPECT_EQ(rows[2][1], "1234");
  EXPECT_EQ(rows[2][5], "5");
  EXPECT_EQ(rows[2][6], "not scanned");
  EXPECT_EQ(rows[3][2], "C:\\q\"uote,comma\r\nline.txt");
  EXPECT_EQ(rows[3][6], "clean");
}

TEST(ConsoleEntryOutput, CsvOfNoEntriesIsTheHeaderOnly) {
  const auto rows = ReadCsv(FormatCsv({}, Latin1ToUtf8));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "ProcessName");
}

TEST(ConsoleEntryOutput, JsonOneObjectPerLineWithUtf8Names) {
  const std::string lines = FormatJsonLines(SampleEntries(), Latin1ToUtf8);
  std::vector<nlohmann::json> objects;
  size_t start = 0;
  while (start < lines.size()) {
    const size_t end = lines.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "every object ends its line";
    objects.push_back(nlohmann::json::parse(lines.substr(start, end - start)));
    start = end + 1;
  }
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0]["Scantarget"],
            "C:\\Gr\xC3\xBC\xC3\x9F"
            "e\\a.txt:s");
  EXPECT_EQ(objects[0]["Outcome"], "detected");
  EXPECT_EQ(objects[1]["ProcessID"], "1234");
  EXPECT_EQ(objects[1]["ScannerErrornumber"], "5");
  EXPECT_EQ(objects[1]["Scannermessage"], "ReadProcessMemory -> Access is denied. ");
  EXPECT_EQ(objects[2]["Scantarget"], "C:\\q\"uote,comma\r\nline.txt");
  EXPECT_EQ(objects[2]["IsMalware"], " (1)");
  EXPECT_EQ(objects[2]["Outcome"], "clean");
  for (const auto& object : objects) {
    ASSERT_EQ(object.size(), 7u);
    for (const char* name : kOutputFieldNames) EXPECT_TRUE(object.contains(name)) << name;
  }
  EXPECT_EQ(FormatJsonLines({}, Latin1ToUtf8), "");
}

TEST(ConsoleEntryOutput, InvalidUtf8FromTheConverterDoesNotStopTheOutput) {
  const auto passThrough = [](const std::string& text) { return text; };
  const std::string lines =
      FormatJsonLines({{"", "", "C:\\bad\xFFname", "no (1)", "", "0"}}, passThrough);
  const nlohmann::json object = nlohmann::json::parse(lines.substr(0, lines.find('\n')));
  EXPECT_EQ(object["Scantarget"], "C:\\bad\xEF\xBF\xBDname");  // U+FFFD in place of the bad byte
}

}  // namespace
}  // namespace tarvex::console
