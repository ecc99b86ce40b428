// The main window: creation of the window, its menus, the status bar and the
// result list view, the status and menu state helpers and the event loop.
#pragma once

#include <windows.h>

#include "menu_state.h"

namespace ostrelle {

// Steps of start-up that build the window: the window, the menu bar, the
// status bar, the caption height and the list view. False when the window
// itself could not be created.
bool CreateMainWindow();

// The window title of this build.
const char* WindowTitle();

void SetStatusText(const char* text);

// Enables and disables the menu items for the phase (see menu_state.h).
void SetMenuState(ScanPhase phase);

// True when the menu item is enabled (commands of disabled items are ignored).
bool MenuItemEnabled(int commandId);

// Runs until the quit flag is set.
void RunEventLoop();

// Takes and dispatches the events waiting for this thread except user input,
// which is dropped; used while results are moved into the list view.
void PumpWaitingEventsWithoutInput();

}  // namespace ostrelle
