// Selection of processes by executable name, and the name their entries carry.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "scanners/logic/process_names.h"

using namespace tarvex;

namespace {

// ASCII upper-casing in place of the system's ANSI one.
std::string AsciiUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

int g_upperCalls = 0;
std::string CountingUpper(std::string text) {
  ++g_upperCalls;
  return AsciiUpper(std::move(text));
}

}  // namespace

TEST(ProcessNames, WholeNameMatchIgnoringLetterCaseOnly) {
  struct Case {
    const char* wanted;
    const char* executable;
    bool selected;
  } cases[] = {
      {"notepad.exe", "notepad.exe", true},
      {"NOTEPAD.EXE", "notepad.exe", true},
      {"NotePad.Exe", "NOTEPAD.exe", true},
      {"notepad", "notepad.exe", false},                   // no extension
      {"C:\\Windows\\notepad.exe", "notepad.exe", false},  // with a path
      {"notepad.ex", "notepad.exe", false},                // prefix
      {"notepad.exe ", "notepad.exe", false},              // trailing blank
      {"*.exe", "notepad.exe", false},                     // no wildcards
      {"otepad.exe", "notepad.exe", false},
      {"notepad.exe", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.selected, IsProcessSelected(c.wanted, c.executable, &AsciiUpper))
        << "wanted '" << c.wanted << "' executable '" << c.executable << "'";
  }
}

TEST(ProcessNames, EmptyWantedNameSelectsEveryProcessWithoutUpperCasing) {
  g_upperCalls = 0;
  EXPECT_TRUE(IsProcessSelected("", "notepad.exe", &CountingUpper));
  EXPECT_TRUE(IsProcessSelected("", "", &CountingUpper));
  EXPECT_EQ(0, g_upperCalls);
}

TEST(ProcessNames, UpperCasingIsTheCallersSoAnsiLettersMatchAsItSays) {
  // The system's upper-casing of code page 1252 maps 0xE4 to 0xC4; the
  // comparison follows whatever the upper-casing function gives.
  auto ansiUpper = [](std::string text) {
    for (char& c : text) {
      if (static_cast<unsigned char>(c) == 0xE4) c = static_cast<char>(0xC4);
    }
    return AsciiUpper(std::move(text));
  };
  EXPECT_TRUE(IsProcessSelected("\xC4rger.exe", "\xE4rger.exe", +ansiUpper));
  EXPECT_FALSE(IsProcessSelected("\xC4rger.exe", "\xE4rger.exe", &AsciiUpper));
}

TEST(ProcessNames, EntriesCarryTheImagePathWhenOneWasFound) {
  EXPECT_EQ("C:\\Program Files\\app\\app.exe",
            NameForEntries("app.exe", "C:\\Program Files\\app\\app.exe"));
  EXPECT_EQ("app.exe", NameForEntries("app.exe", ""));
  EXPECT_EQ("", NameForEntries("", ""));
}
