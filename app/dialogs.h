// The dialogs of the scan and save commands. Each returns the empty text
// when the user closes or cancels it.
#pragma once

#include <windows.h>

#include <string>

#include "folder_path.h"

namespace ostrelle {

// Small modal window with a prompt, one edit field (empty at start) and OK.
std::string AskText(HWND owner, const char* title, const char* prompt);

// The system's folder picker, and what the shell tells about the chosen item:
// its file-system path of any length (SHGetPathFromIDListEx) and whether it
// is the computer folder.
PickedFolderItem PickFolder(HWND owner, const char* title);

// The system's file-open dialog (the file need not exist).
std::string PickFile(HWND owner, const char* title);

// The system's save dialog with the default name "ASMI-Logfile.txt".
std::string AskSavePath(HWND owner, const char* title);

}  // namespace ostrelle
