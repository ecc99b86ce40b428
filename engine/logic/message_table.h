// The engine's user-visible texts, one English and one German column (code page 1252).
#pragma once

#include <cstdint>

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

// Text of a row in the given language; a language index other than 1 reads English.
const char* MessageText(MessageRow row, int languageIndex);

// Language index from the first byte of the user locale's language identifier
// (read as a signed byte): 7 is the primary language German in every sublanguage.
int LanguageFromLocaleByte(int8_t firstByte);

}  // namespace tarvex
