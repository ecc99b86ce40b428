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

// Writes the log and opens the written file with the shell, but only when it
// was written and its type cannot run (see open_policy.h).
void WriteAndOpenLog(const std::string& path, HWND owner);

// Menu command 102: asks for a path with the save dialog, then writes and opens.
void SaveLogCommand();

}  // namespace ostrelle
