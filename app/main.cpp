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

int ChooseLanguage() {
  DWORD languageId = 0;
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPSTR>(&languageId), sizeof languageId) == 0) {
    return kEnglish;
  }
  return LanguageFromLanguageId(languageId);
}

int Run(HINSTANCE instance) {
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
  return 0;
}

}  // namespace
}  // namespace ostrelle

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ExitProcess(static_cast<UINT>(ostrelle::Run(instance)));
}
