// The application's text table: every user-visible text in English and German
// (code page 1252), addressed by entry number and language index.
#pragma once

#include <cstdint>

namespace ostrelle {

constexpr int kEnglish = 0;
constexpr int kGerman = 1;

// Entries of the text table as the program uses them.
enum TextEntry : int {
  kTextMenuProgram = 1,
  kTextScanProcesses = 2,
  kTextScanAllStreams = 3,
  kTextDeleteResults = 4,
  kTextSelectScanType = 5,
  kTextClose = 6,
  kTextInProgress = 7,
  kTextReady = 8,
  kTextOsVersionNumber = 9,
  kTextOsProductName = 10,
  kTextCreateLogFile = 11,
  kText32Bit = 12,
  kText64Bit = 13,
  kTextTypeOfScan = 14,
  kTextTypeAllProcesses = 15,
  kTextFinishedAt = 16,
  kTextTypeAllStreams = 17,
  kTextSaveDialogTitle = 18,
  kTextCancelScan = 19,
  kTextScanCancelled = 20,
  kTextScanFolder = 21,
  kTextFolderDialogTitle = 22,
  kTextTypeFolder = 23,
  kTextScanFile = 24,
  kTextFileDialogTitle = 25,
  kTextTypeFile = 26,
  kTextScannerVersion = 27,
  kTextScanProcessesWithName = 28,
  kTextTypeProcessesWithName = 29,
  kTextInputDialogTitle = 30,
  kTextInputDialogPrompt = 31,
  // Status texts of this program beyond the first 31; those that get a path
  // appended end with one blank.
  kTextCancelling = 32,          // while a cancelled job's worker is still ending
  kTextLogNotSaved = 33,         // the log file could not be written; the path follows
  kTextLogSavedNotOpened = 34,   // written, but its type is not opened; the path follows
  kTextFolderNotScannable = 35,  // the folder picker's choice has no usable path
  kTextLastFilledEntry = 35,
};

constexpr int kTextTableEntryCount = 101;
constexpr int kTextTableLanguageCount = 3;

// Text of one entry; the empty text for an entry or language that is not filled.
const char* TableText(int entry, int language);

// Language index from the number that GetLocaleInfoA returns for
// LOCALE_ILANGUAGE | LOCALE_RETURN_NUMBER: German when the lowest byte, read
// as a signed 8-bit value, is 7 (the primary language German); English otherwise.
int LanguageFromLanguageId(uint32_t languageId);

}  // namespace ostrelle
