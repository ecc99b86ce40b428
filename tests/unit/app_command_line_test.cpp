// Command-line splitting and the automatic mode's recognition.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"

using ostrelle::ParseAutomaticMode;
using ostrelle::SplitCommandLine;

namespace {

TEST(AppCommandLine, SplitsAtBlanksWithQuotedItems) {
  struct Case {
    const char* line;
    std::vector<std::string> items;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"prog", {"prog"}},
      {"prog scan c:\\log.txt", {"prog", "scan", "c:\\log.txt"}},
      {"  prog    scan   x  ", {"prog", "scan", "x"}},
      {"\"C:\\Program Files\\Ostrelle64.exe\" scan \"C:\\my logs\\a b.txt\"",
       {"C:\\Program Files\\Ostrelle64.exe", "scan", "C:\\my logs\\a b.txt"}},
      {"prog \"\" x", {"prog", "", "x"}},
      {"prog \"unterminated item runs on", {"prog", "unterminated item runs on"}},
      {"prog \"ab\"cd", {"prog", "ab", "cd"}},
      {"prog ab\"cd ef\"", {"prog", "ab\"cd", "ef\""}},
      {"prog\tscan", {"prog\tscan"}},  // only blanks separate
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.items, SplitCommandLine(c.line)) << "line: [" << c.line << "]";
  }
}

TEST(AppCommandLine, AutomaticModeNeedsExactlyScanAndOnePath) {
  struct Case {
    const char* line;
    bool automatic;
    const char* logPath;
  } cases[] = {
      {"Ostrelle64.exe scan C:\\log.txt", true, "C:\\log.txt"},
      {"\"C:\\dir x\\Ostrelle64.exe\"   scan   \"C:\\a b\\log.txt\"", true, "C:\\a b\\log.txt"},
      {"Ostrelle64.exe scan \"\"", true, ""},
      {"Ostrelle64.exe scan", false, ""},
      {"Ostrelle64.exe", false, ""},
      {"Ostrelle64.exe scan a b", false, ""},
      {"Ostrelle64.exe SCAN log.txt", false, ""},
      {"Ostrelle64.exe Scan log.txt", false, ""},
      {"Ostrelle64.exe scanx log.txt", false, ""},
      {"Ostrelle64.exe log.txt scan", false, ""},
      {"Ostrelle64.exe \"scan\" log.txt", true, "log.txt"},
  };
  for (const Case& c : cases) {
    std::string path = "untouched";
    EXPECT_EQ(c.automatic, ParseAutomaticMode(c.line, &path)) << c.line;
    if (c.automatic) {
      EXPECT_EQ(c.logPath, path) << c.line;
    } else {
      EXPECT_EQ("untouched", path) << c.line;
    }
  }
}

}  // namespace
