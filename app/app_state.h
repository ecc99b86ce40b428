// The application's state: one object for the life of the process, used only
// on the application's one thread.
#pragma once

#include <windows.h>

#include <string>

#include "menu_state.h"
#include "win32_handles.h"

namespace ostrelle {

constexpr int kStatusBarId = 2701;
constexpr int kListViewId = 2698;
constexpr UINT_PTR kProgressTimerId = 1;
constexpr UINT kProgressElapseMs = 100;

struct AppState {
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  HMENU menuBar = nullptr;
  HWND statusBar = nullptr;
  HWND listView = nullptr;
  int language = 0;
  int captionHeight = 0;
  // The system's DPI at start; the window's pixel sizes are given at 96 DPI.
  int dpi = 96;
  std::string statusText;
  int quitFlag = 0;
  // The program's exit code: 0, or 1 when the automatic mode could not write its log.
  int exitCode = 0;

  // Engine binding and scan commands.
  tarvex::UniqueLibrary engineLibrary;
  ScanPhase phase = ScanPhase::Idle;
  int automaticStep = 0;
  std::string automaticLogPath;
  std::string lastFolder;
  std::string lastFile;
  std::string lastProcessName;

  // Result view.
  int rowCursor = 0;
  // True while ScanFinished moves results into the list view: commands,
  // close requests and progress ticks that arrive meanwhile are dropped.
  bool transferring = false;

  // Log.
  std::string logText;
  std::string osBitnessWord;
  std::string scannerBitnessWord;
};

AppState& App();

// Text table entry in the language chosen at start.
const char* Text(int entry);

}  // namespace ostrelle
