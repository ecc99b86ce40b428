// The log text: scan headers and footers, the system information they show,
// and writing the log to a file.
#pragma once

#include <windows.h>

#include <string>

namespace ostrelle {

// Reads the value as text; the empty text when anything fails.
std::string ReadRegistryText(HKEY root, const char* keyName, const char* valueName);

// Sets the two bitness words from the build and IsWow64Process.
void SetBitnessWords();

void AppendScanHeader(const std::string& typeText);
void AppendScanFooter(const std::string& report);
void AppendEndRule();

// Creates the file anew and writes the log text unchanged; true when every
// byte was written.
bool WriteLogFile(const std::string& path);

enum class LogSaveOutcome {
  Opened,      // written and handed to the shell
  NotWritten,  // the file could not be created or written
  NotOpened,   // written, but its type is not one that is opened
};

// Writes the log and opens the written file with the shell, but only when it
// was written and is a plain-text type (see open_policy.h).
LogSaveOutcome WriteAndOpenLog(const std::string& path, HWND owner);

// A log that was not written, or not opened because of its type, is named in
// the status bar with the reason; an opened one leaves the status as it is.
void ShowLogSaveOutcome(LogSaveOutcome outcome, const std::string& path);

// Menu command 102: asks for a path with the save dialog, then writes and
// opens, and shows the outcome.
void SaveLogCommand();

}  // namespace ostrelle
