// The dialogs of the scan and save commands. Each returns the empty text
// when the user closes or cancels it.
#pragma once

#include <windows.h>

#include <string>

namespace ostrelle {

// Small modal window with a prompt, one edit field (empty at start) and OK.
std::string AskText(HWND owner, const char* title, const char* prompt);

// The system's folder picker; the chosen folder's path with a trailing
// backslash, a lone backslash for an item without a file-system path.
std::string PickFolder(HWND owner, const char* title);

// The system's file-open dialog (the file need not exist).
std::string PickFile(HWND owner, const char* title);

// The system's save dialog with the default name "ASMI-Logfile.txt".
std::string AskSavePath(HWND owner, const char* title);

}  // namespace ostrelle
