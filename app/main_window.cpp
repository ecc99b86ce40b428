// Main window, menus, status bar, list view and the event loop.
#include "main_window.h"

#include <commctrl.h>

#include "app_state.h"
#include "layout.h"
#include "log_file.h"
#include "menu_state.h"
#include "resource.h"
#include "result_view.h"
#include "scan_commands.h"
#include "tarvex.h"
#include "text_table.h"

namespace ostrelle {
namespace {

const char kWindowClass[] = "OstrelleMainWindow";
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 440;
constexpr DWORD kListViewStyle = 0x5480804D;
constexpr DWORD kListViewExtendedStyle = 0x421;
constexpr DWORD kStatusBarStyle = 0x54000900;
const int kColumnWidths[6] = {300, 80, 350, 140, 250, 100};

ListViewPlacement CurrentListViewPlacement() {
  AppState& app = App();
  RECT client{};
  GetClientRect(app.mainWindow, &client);
  return ListViewLayout(client.right - client.left, client.bottom - client.top, app.captionHeight,
                        app.dpi);
}

void PlaceListView(UINT flags) {
  const ListViewPlacement p = CurrentListViewPlacement();
  SetWindowPos(App().listView, nullptr, p.x, p.y, p.width, p.height, flags);
}

// The DPI the system renders this program at. The manifest declares the
// program DPI-aware for the system DPI, so sizes given at 96 DPI are scaled
// by the program itself (a DPI-unaware program would be stretched as a
// bitmap instead).
int SystemDpi() {
  const HDC screen = GetDC(nullptr);
  if (screen == nullptr) return kBaseDpi;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kBaseDpi;
}

void OnSize() {
  AppState& app = App();
  // The status bar docks itself to the bottom again when it is moved.
  SetWindowPos(app.statusBar, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceListView(SWP_NOZORDER);
}

void OnCommand(int commandId) {
  // A command of a disabled item (posted, or from a stale click) does nothing:
  // the menu state is the record of whether a scan runs.
  if (commandId != kCmdClose && !MenuItemEnabled(commandId)) return;
  switch (commandId) {
    case kCmdCreateLogFile:
      SaveLogCommand();
      break;
    case kCmdScanProcesses:
    case kCmdScanAllStreams:
    case kCmdScanFolder:
    case kCmdScanFile:
    case kCmdScanProcessesWithName:
      RunScanCommand(commandId);
      break;
    case kCmdDeleteResults:
      DeleteResults();
      break;
    case kCmdCancelScan:
      CancelScanCommand();
      break;
    case kCmdClose:
      CloseFromMenu();
      break;
    default:
      break;
  }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  AppState& app = App();
  switch (message) {
    case WM_COMMAND:
      if (!app.transferring && lParam == 0) OnCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (app.transferring) return 0;
      if (wParam == TARVEX_NOTIFY_TIMER_ID) {
        ScanFinished(nullptr, 0, 0, 0);
      } else if (wParam == kProgressTimerId) {
        if (app.phase == ScanPhase::Cancelling) {
          EndCancellingWhenTheJobHasEnded();
        } else {
          ProgressUpdate();
        }
      }
      return 0;
    case WM_SIZE:
      if (app.statusBar != nullptr && app.listView != nullptr) OnSize();
      return 0;
    case WM_CLOSE:
      if (!app.transferring) CloseRequest();
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void AppendMenuItem(HMENU menu, int id, int entry) {
  AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(id), Text(entry));
}

void CreateMenus() {
  AppState& app = App();
  app.menuBar = CreateMenu();
  if (app.menuBar == nullptr) return;
  HMENU program = CreatePopupMenu();
  AppendMenuItem(program, kCmdCreateLogFile, kTextCreateLogFile);
  AppendMenuItem(program, kCmdDeleteResults, kTextDeleteResults);
  AppendMenuA(program, MF_SEPARATOR, 0, nullptr);
  AppendMenuItem(program, kCmdCancelScan, kTextCancelScan);
  AppendMenuA(program, MF_SEPARATOR, 0, nullptr);
  AppendMenuItem(program, kCmdClose, kTextClose);
  HMENU scans = CreatePopupMenu();
  AppendMenuItem(scans, kCmdScanProcesses, kTextScanProcesses);
  AppendMenuItem(scans, kCmdScanProcessesWithName, kTextScanProcessesWithName);
  AppendMenuA(scans, MF_SEPARATOR, 0, nullptr);
  AppendMenuItem(scans, kCmdScanAllStreams, kTextScanAllStreams);
  AppendMenuItem(scans, kCmdScanFolder, kTextScanFolder);
  AppendMenuItem(scans, kCmdScanFile, kTextScanFile);
  AppendMenuA(app.menuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(program), Text(kTextMenuProgram));
  AppendMenuA(app.menuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(scans), "&Scans");
  EnableMenuItem(app.menuBar, kCmdCreateLogFile, MF_BYCOMMAND | MF_GRAYED);
  EnableMenuItem(app.menuBar, kCmdCancelScan, MF_BYCOMMAND | MF_GRAYED);
  SetMenu(app.mainWindow, app.menuBar);
}

void CreateListView() {
  AppState& app = App();
  const ListViewPlacement p = CurrentListViewPlacement();
  app.listView = CreateWindowExA(0, "SysListView32", "Scan_Listview", kListViewStyle, p.x, p.y,
                                 p.width, p.height, app.mainWindow,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListViewId)),
                                 app.instance, nullptr);
  SendMessageA(app.listView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListViewExtendedStyle);
  for (int column = 0; column < 6; ++column) {
    char emptyTitle[1] = {};
    LVCOLUMNA fields{};
    fields.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    fields.fmt = LVCFMT_LEFT;
    fields.cx = ScaleToDpi(kColumnWidths[column], app.dpi);
    fields.pszText = emptyTitle;
    fields.iSubItem = column;
    SendMessageA(app.listView, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&fields));
  }
}

}  // namespace

const char* WindowTitle() {
#ifdef _WIN64
  return "Ostrelle (64 Bit)";
#else
  return "Ostrelle (32 Bit)";
#endif
}

bool CreateMainWindow() {
  AppState& app = App();
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = app.instance;
  windowClass.hIcon = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_OSTRELLE));
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExA(&windowClass);

  app.dpi = SystemDpi();
  RECT outer{0, 0, ScaleToDpi(kClientWidth, app.dpi), ScaleToDpi(kClientHeight, app.dpi)};
  AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
  app.mainWindow = CreateWindowExA(0, kWindowClass, WindowTitle(), WS_OVERLAPPEDWINDOW, 50, 50,
                                   outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                   nullptr, app.instance, nullptr);
  if (app.mainWindow == nullptr) return false;
  ShowWindow(app.mainWindow, SW_SHOWNORMAL);

  CreateMenus();
  app.statusText = Text(kTextSelectScanType);
  app.statusBar = CreateStatusWindowA(static_cast<LONG>(kStatusBarStyle), app.statusText.c_str(),
                                      app.mainWindow, kStatusBarId);
  app.captionHeight = GetSystemMetrics(SM_CYCAPTION);
  CreateListView();
  UpdateWindow(app.mainWindow);
  return true;
}

void SetStatusText(const char* text) {
  AppState& app = App();
  app.statusText = text;
  SendMessageA(app.statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(app.statusText.c_str()));
  SendMessageA(app.statusBar, SB_SETTIPTEXTA, 0, reinterpret_cast<LPARAM>(app.statusText.c_str()));
}

void SetMenuState(ScanPhase phase) {
  AppState& app = App();
  if (app.menuBar == nullptr) return;
  for (const MenuItemState& item : MenuStates(phase, app.logText.empty())) {
    EnableMenuItem(app.menuBar, static_cast<UINT>(item.id),
                   MF_BYCOMMAND | (item.enabled ? MF_ENABLED : MF_GRAYED));
  }
}

bool MenuItemEnabled(int commandId) {
  AppState& app = App();
  if (app.menuBar == nullptr) return false;
  const UINT state = GetMenuState(app.menuBar, static_cast<UINT>(commandId), MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

void RunEventLoop() {
  AppState& app = App();
  MSG message;
  while (app.quitFlag != 1) {
    const BOOL result = GetMessageA(&message, nullptr, 0, 0);
    if (result == 0 || result == -1) break;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void PumpWaitingEventsWithoutInput() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    const UINT id = message.message;
    const bool input = (id >= WM_KEYFIRST && id <= WM_KEYLAST) ||
                       (id >= WM_MOUSEFIRST && id <= WM_MOUSELAST) ||
                       (id >= WM_NCMOUSEMOVE && id <= WM_NCXBUTTONDBLCLK);
    if (input) continue;
    if (id == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    DispatchMessageA(&message);
  }
}

}  // namespace ostrelle
