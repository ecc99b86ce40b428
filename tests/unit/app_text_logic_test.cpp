// Folder path normalisation and the folder command's decision, the layout
// rule, timestamps, the language choice, the bitness words and the menu state rule.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

#include "bitness.h"
#include "folder_path.h"
#include "layout.h"
#include "menu_state.h"
#include "text_table.h"
#include "timestamp.h"

using namespace ostrelle;

namespace {

TEST(AppFolderPath, NormalisesThePickersAnswer) {
  struct Case {
    const char* picked;
    const char* folder;
  } cases[] = {
      {"\\", ""},        // no file-system path: all drives
      {"C:\\", "C:\\"},  // a drive root keeps its backslash
      {"C:\\Temp\\", "C:\\Temp"},
      {"C:\\Users\\", "C:\\Users"},
      {"C:\\a\\", "C:\\a"},  // 5 characters
      {"C:\\a", "C:\\a"},    // no trailing backslash: unchanged
      {"ab\\", "ab\\"},      // 3 characters stay
      {"abcd\\", "abcd"},    // 4 characters lose it
      {"\\\\server\\share\\", "\\\\server\\share"},
      {"C:\\Temp\\\\", "C:\\Temp\\"},  // only one backslash goes
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.folder, NormaliseFolderPath(c.picked)) << c.picked;
  }
}

TEST(AppFolderChoice, AllDrivesOnlyForTheComputerNode) {
  const std::string longPath = "C:\\" + std::string(300, 'd') + "\\deep";
  struct Case {
    const char* what;
    PickedFolderItem item;
    FolderChoiceKind kind;
    std::string path;
  } cases[] = {
      {"cancelled", {false, false, false, "", false}, FolderChoiceKind::Cancelled, ""},
      {"folder", {true, true, true, "C:\\Temp", false}, FolderChoiceKind::Folder, "C:\\Temp"},
      {"folder with backslash",
       {true, true, true, "C:\\Temp\\", false},
       FolderChoiceKind::Folder,
       "C:\\Temp"},
      {"drive root", {true, true, true, "C:\\", false}, FolderChoiceKind::Folder, "C:\\"},
      {"drive without backslash",
       {true, true, true, "D:", false},
       FolderChoiceKind::Folder,
       "D:\\"},
      {"share",
       {true, true, true, "\\\\server\\share", false},
       FolderChoiceKind::Folder,
       "\\\\server\\share"},
      {"longer than MAX_PATH",
       {true, true, true, longPath, false},
       FolderChoiceKind::Folder,
       longPath},
      {"computer node", {true, false, false, "", true}, FolderChoiceKind::AllDrives, ""},
      // A folder whose path lookup failed is never the all-drives walk.
      {"lookup failed", {true, false, false, "", false}, FolderChoiceKind::NotScannable, ""},
      {"path not in ANSI", {true, true, false, "", false}, FolderChoiceKind::NotScannable, ""},
      {"path not in ANSI, computer",
       {true, true, false, "", true},
       FolderChoiceKind::NotScannable,
       ""},
      {"empty path", {true, true, true, "", false}, FolderChoiceKind::NotScannable, ""},
      {"lone backslash", {true, true, true, "\\", false}, FolderChoiceKind::NotScannable, ""},
  };
  for (const Case& c : cases) {
    const FolderChoice choice = DecideFolderChoice(c.item);
    EXPECT_EQ(c.kind, choice.kind) << c.what;
    EXPECT_EQ(c.path, choice.path) << c.what;
    if (choice.kind == FolderChoiceKind::Folder) {
      EXPECT_FALSE(choice.path.empty()) << c.what;
    }
  }
}

TEST(AppLayout, ListViewFollowsTheClientAreaWithoutNegativeSizes) {
  struct Case {
    int clientWidth, clientHeight, caption;
    int width, height;
  } cases[] = {
      {640, 440, 23, 600, 338}, {640, 440, 0, 600, 361},
      {40, 102, 23, 0, 0},      {10, 50, 23, 30, 52},  // below the margins: absolute values
      {0, 0, 23, 40, 102},      {1920, 1017, 19, 1880, 919},
  };
  for (const Case& c : cases) {
    const ListViewPlacement p = ListViewLayout(c.clientWidth, c.clientHeight, c.caption);
    EXPECT_EQ(20, p.x);
    EXPECT_EQ(20, p.y);
    EXPECT_EQ(c.width, p.width) << c.clientWidth;
    EXPECT_EQ(c.height, p.height) << c.clientHeight;
  }
  const ListViewPlacement extreme = ListViewLayout(INT_MIN + 10, INT_MIN + 200, 0);
  EXPECT_GE(extreme.width, 0);
  EXPECT_GE(extreme.height, 0);
}

TEST(AppLayout, MarginsScaleWithTheSystemDpi) {
  struct Case {
    int dpi;
    int clientWidth, clientHeight, caption;
    int margin, width, height;
  } cases[] = {
      {96, 640, 440, 23, 20, 600, 338},
      {120, 800, 550, 28, 25, 750, 423},    // 125 %: margins 25, 50, 99
      {144, 960, 660, 34, 30, 900, 507},    // 150 %: margins 30, 60, 119 (118.5 rounded)
      {192, 1280, 880, 46, 40, 1200, 676},  // 200 %: margins 40, 80, 158
      {0, 640, 440, 23, 20, 600, 338},      // no DPI known: 96
  };
  for (const Case& c : cases) {
    const ListViewPlacement p = ListViewLayout(c.clientWidth, c.clientHeight, c.caption, c.dpi);
    EXPECT_EQ(c.margin, p.x) << c.dpi;
    EXPECT_EQ(c.margin, p.y) << c.dpi;
    EXPECT_EQ(c.width, p.width) << c.dpi;
    EXPECT_EQ(c.height, p.height) << c.dpi;
  }
  EXPECT_EQ(640, ScaleToDpi(640, 96));
  EXPECT_EQ(960, ScaleToDpi(640, 144));
  EXPECT_EQ(375, ScaleToDpi(300, 120));
  EXPECT_EQ(-30, ScaleToDpi(-20, 144));
  EXPECT_EQ(INT_MAX, ScaleToDpi(INT_MAX, 192));
}

TEST(AppTimestamp, TwoDigitFieldsAndYearWithoutPadding) {
  struct Case {
    LocalTimeParts parts;
    const char* date;
    const char* time;
  } cases[] = {
      {{2027, 2, 3, 9, 5}, "03.02.2027", "09:05"}, {{2026, 12, 5, 19, 21}, "05.12.2026", "19:21"},
      {{2026, 1, 1, 0, 0}, "01.01.2026", "00:00"}, {{2026, 10, 31, 23, 59}, "31.10.2026", "23:59"},
      {{999, 7, 9, 12, 30}, "09.07.999", "12:30"},
  };
  for (const Case& c : cases) {
    const Timestamp stamp = MakeTimestampText(c.parts);
    EXPECT_EQ(c.date, stamp.date);
    EXPECT_EQ(c.time, stamp.time);
  }
}

TEST(AppLanguage, GermanForEveryGermanSublanguageOnly) {
  struct Case {
    uint32_t languageId;
    int language;
  } cases[] = {
      {0x0407, kGerman},  {0x0C07, kGerman},  {0x0807, kGerman},  {0x1007, kGerman},
      {0x1407, kGerman},  {0x0409, kEnglish}, {0x0809, kEnglish}, {0x040C, kEnglish},
      {0x0000, kEnglish}, {0x0087, kEnglish}, {0x0107, kGerman},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.language, LanguageFromLanguageId(c.languageId)) << std::hex << c.languageId;
  }
}

TEST(AppTextTable, EntriesAsTheUserSeesThem) {
  EXPECT_STREQ("Please select a scan type rom the menubar!",
               TableText(kTextSelectScanType, kEnglish));
  EXPECT_STREQ("Bitte einen Scan aus dem Men\xFC ausw\xE4hlen!",
               TableText(kTextSelectScanType, kGerman));
  EXPECT_STREQ("&l\xF6sche Scanergebnisse", TableText(kTextDeleteResults, kGerman));
  EXPECT_STREQ("Scan wird durchgef\xFChrt...", TableText(kTextInProgress, kGerman));
  EXPECT_STREQ("Pleace but a processname into the box:",
               TableText(kTextInputDialogPrompt, kEnglish));
  EXPECT_STREQ("c&ancle scan", TableText(kTextCancelScan, kEnglish));
  // The type texts that get a path or name appended end with one blank.
  for (int entry : {kTextTypeFolder, kTextTypeFile, kTextTypeProcessesWithName}) {
    for (int language : {kEnglish, kGerman}) {
      const std::string text = TableText(entry, language);
      ASSERT_FALSE(text.empty());
      EXPECT_EQ(' ', text.back()) << entry;
      EXPECT_NE(' ', text[text.size() - 2]) << entry;
    }
  }
  // The status texts that get a path appended end with one blank too.
  for (int entry : {kTextLogNotSaved, kTextLogSavedNotOpened}) {
    for (int language : {kEnglish, kGerman}) {
      const std::string text = TableText(entry, language);
      ASSERT_FALSE(text.empty());
      EXPECT_EQ(' ', text.back()) << entry;
      EXPECT_NE(' ', text[text.size() - 2]) << entry;
    }
  }
  EXPECT_STREQ("Scan wird abgebrochen...", TableText(kTextCancelling, kGerman));
  EXPECT_STREQ(
      "LOG-Datei gespeichert, nicht ge\xF6"
      "ffnet (nur .txt-, .log- und .csv-Dateien "
      "werden ge\xF6"
      "ffnet): ",
      TableText(kTextLogSavedNotOpened, kGerman));
  // Entries 1 to 35 are filled in both languages, nothing outside them.
  for (int entry = 1; entry <= 35; ++entry) {
    EXPECT_STRNE("", TableText(entry, kEnglish)) << entry;
    EXPECT_STRNE("", TableText(entry, kGerman)) << entry;
  }
  EXPECT_STREQ("", TableText(0, kEnglish));
  EXPECT_STREQ("", TableText(36, kEnglish));
  EXPECT_STREQ("", TableText(100, kGerman));
  EXPECT_STREQ("", TableText(5, 2));
  EXPECT_STREQ("", TableText(-1, 0));
  EXPECT_STREQ("", TableText(5, -1));
}

TEST(AppBitness, WordsFollowTheBuildAndWow64) {
  struct Case {
    bool build64, wow64;
    int os, scanner;
  } cases[] = {
      {true, false, kText64Bit, kText64Bit},
      {false, true, kText64Bit, kText32Bit},
      {false, false, kText32Bit, kText32Bit},
  };
  for (const Case& c : cases) {
    const BitnessEntries e = BitnessWordEntries(c.build64, c.wow64);
    EXPECT_EQ(c.os, e.osEntry);
    EXPECT_EQ(c.scanner, e.scannerEntry);
  }
  EXPECT_STREQ("32Bit", TableText(kText32Bit, kGerman));
  EXPECT_STREQ("64bit", TableText(kText64Bit, kEnglish));
}

TEST(AppMenuState, IdleScanningAndCancellingStates) {
  const std::set<int> scanAndDelete = {103, 104, 105, 107, 108, 109};
  struct Case {
    ScanPhase phase;
    bool logEmpty;
    bool scanEnabled, cancelEnabled, saveEnabled;
  } cases[] = {
      {ScanPhase::Idle, true, true, false, false},
      {ScanPhase::Idle, false, true, false, true},
      {ScanPhase::Running, false, false, true, false},
      {ScanPhase::Running, true, false, true, false},
      // A cancelled job still ending: nothing starts, and cancel is done.
      {ScanPhase::Cancelling, false, false, false, false},
      {ScanPhase::Cancelling, true, false, false, false},
  };
  for (const Case& c : cases) {
    const auto states = MenuStates(c.phase, c.logEmpty);
    std::set<int> seen;
    for (const MenuItemState& s : states) {
      EXPECT_TRUE(seen.insert(s.id).second) << "twice: " << s.id;
      if (scanAndDelete.count(s.id)) {
        EXPECT_EQ(c.scanEnabled, s.enabled) << s.id;
      } else if (s.id == kCmdCancelScan) {
        EXPECT_EQ(c.cancelEnabled, s.enabled);
      } else if (s.id == kCmdCreateLogFile) {
        EXPECT_EQ(c.saveEnabled, s.enabled);
      } else {
        ADD_FAILURE() << "unexpected item " << s.id;
      }
    }
    EXPECT_EQ(8u, seen.size());
    EXPECT_EQ(0u, seen.count(kCmdClose));
  }
}

}  // namespace
