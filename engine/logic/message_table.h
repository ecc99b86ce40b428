// The engine's user-visible texts, one English and one German column. The
// rows are kept as UTF-16; the 8-bit texts that entries and the report carry
// are made from them once, at library load, in the code page of the process
// that loaded the engine (its ANSI code page: 1252 on a German or English
// Windows, UTF-8 for a program whose manifest asks for it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvex {

enum class MessageRow : int {
  ProcessNameTitle = 1,
  ProcessIdTitle = 2,
  ScantargetTitle = 3,
  IsMalwareTitle = 4,
  ScannermessageTitle = 5,
  VerdictYes = 6,
  VerdictNo = 7,
  VerdictNotScanned = 8,
  CouldNotAllocate = 9,
  AddressLabel = 10,
  NotSupported = 11,
  NoData = 12,
  ErrornumberTitle = 13,
  // Rows of this engine's own, behind the interface's thirteen.
  JobStopped = 14,
  ReportCut = 15,
  OutOfReach32Bit = 16,
};

constexpr int kMessageRowCount = 16;

constexpr int kEnglish = 0;
constexpr int kGerman = 1;

// The row's text as UTF-16; a language index other than 1 reads English.
std::u16string_view MessageSource(MessageRow row, int languageIndex);

// Text of a row in the given language, 8-bit, in the code page chosen by the
// last UseMessageCodePage call; until then code page 1252. A language index
// other than 1 reads English.
const char* MessageText(MessageRow row, int languageIndex);

// Converts a UTF-16 text into the process's 8-bit code page; an empty result
// for a text that is not empty means the conversion failed.
using MessageConverter = std::string (*)(std::u16string_view text);

// Makes every row's 8-bit text anew with toCodePage. A row the converter
// fails on keeps its code page 1252 text. Called once at library load,
// before any job; MessageText is read-only afterwards.
void UseMessageCodePage(MessageConverter toCodePage);

// Code page 1252 for the characters of the table (ASCII and the Latin-1
// letters); any other character becomes '?'.
std::string CodePage1252FromUtf16(std::u16string_view text);

// Language index from the first byte of the user locale's language identifier
// (read as a signed byte): 7 is the primary language German in every sublanguage.
int LanguageFromLocaleByte(int8_t firstByte);

}  // namespace tarvex
