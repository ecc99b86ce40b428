// The result list view: the transfer of a finished job's results, the
// progress display and the delete command.
#pragma once

#include <windows.h>

#include <cstdint>

namespace ostrelle {

// The notification procedure handed to the engine, with the shape of a
// Windows timer procedure; its address is also the owner token for CancleScan.
void __stdcall ScanFinished(void* window, unsigned int message, uintptr_t timerId,
                            unsigned long tickCount);

// Moves the engine's result entries into the list view: the title entry
// gives the column titles, every further entry one row at the row cursor.
// Waiting events are dispatched between rows (user input is dropped).
void TransferResults();

void SetCellText(int row, int column, const char* text);
void SetColumnTitle(int column, const char* text);

// Every tick of the progress timer: shows the engine's current scan object.
void ProgressUpdate();

// Menu command 105.
void DeleteResults();

}  // namespace ostrelle
