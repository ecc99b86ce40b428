// Ostrelle: the scanner application. Start-up, the event loop, shut-down.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app_state.h"
#include "engine_binding.h"
#include "log_file.h"
#include "main_window.h"
#include "scan_commands.h"
#include "text_table.h"

namespace ostrelle {
namespace {

// The engine is loaded by its bare file name, with administrator rights; the
// current folder (a download folder, a share) is no place to look for it or
// for any library it loads (a DLL planted there would run elevated). The
// program's own folder and the system folders stay in the search. Runs
// before anything else can load a library.
void KeepCurrentFolderOutOfDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  // Windows 8 and later, Windows 7 with KB2533623; SetDllDirectoryA("") takes
  // the current folder out of the search everywhere else.
  if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) SetDllDirectoryA("");
}

int ChooseLanguage() {
  DWORD languageId = 0;
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPSTR>(&languageId), sizeof languageId) == 0) {
    return kEnglish;
  }
  return LanguageFromLanguageId(languageId);
}

int Run(HINSTANCE instance) {
  KeepCurrentFolderOutOfDllSearch();
  AppState& app = App();
  app.instance = instance;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  app.language = ChooseLanguage();
  if (CreateMainWindow()) {
    LoadEngine();
    SetBitnessWords();
    StartAutomaticModeIfAsked(GetCommandLineA());
    SetTimer(app.mainWindow, kProgressTimerId, kProgressElapseMs, nullptr);
    RunEventLoop();
    KillTimer(app.mainWindow, kProgressTimerId);
    DestroyWindow(app.mainWindow);  // destroys the attached menu as well
  }
  UnloadEngine();
  if (SUCCEEDED(com)) CoUninitialize();
  return app.exitCode;
}

}  // namespace
}  // namespace ostrelle

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ExitProcess(static_cast<UINT>(ostrelle::Run(instance)));
}
