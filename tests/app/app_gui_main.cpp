// Entry of the GUI test program. Besides the tests it has two helper modes:
//   hold            keep the antivirus test string and the provider's marker
//                   in memory until ended (a target for memory scans);
//   probe status    print the program's status text;
//   probe rows      print the list view rows, cells separated by " | ";
//   probe wait <text> <seconds>   wait until the status text is <text>;
//   probe reveal    scroll to and select the first row with a detection;
//                   prints "row <index> <x> <y>", the screen point of its first cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app_driver.h"
#include "test_content.h"

using namespace ostrelle_test;

namespace {

int Hold() {
  // Kept alive in memory until the process is ended.
  static volatile std::string* held =
      new std::string(tarvex_test::AntivirusTestString() + " " + tarvex_test::MarkerText());
  (void)held;
  Sleep(INFINITE);
  return 0;
}

HWND FindProgramWindow() { return FindWindowA(nullptr, Title()); }

std::string StatusOf(HWND window) {
  char text[4096] = {};
  SendMessageA(GetDlgItem(window, 2701), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

int Probe(int argc, char** argv) {
  HWND window = FindProgramWindow();
  if (window == nullptr) {
    std::printf("no window\n");
    return 2;
  }
  const std::string what = argc > 2 ? argv[2] : "status";
  if (what == "status") {
    std::printf("%s\n", StatusOf(window).c_str());
    return 0;
  }
  if (what == "wait" && argc > 4) {
    const DWORD timeoutMs = static_cast<DWORD>(std::atoi(argv[4])) * 1000;
    const bool reached = WaitUntil([&] { return StatusOf(window) == argv[3]; }, timeoutMs, 200);
    std::printf("%s\n", StatusOf(window).c_str());
    return reached ? 0 : 1;
  }
  if (what == "rows" || what == "reveal") {
    // Attach to the running program through its process id.
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const tarvex::UniqueHandle processHandle(OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId));
    if (!processHandle) return 2;
    const HANDLE process = processHandle.Get();
    HWND list = GetDlgItem(window, 2698);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    struct Block {
      LVITEMA item;
      char text[4096];
    };
    auto* remote = static_cast<Block*>(
        VirtualAllocEx(process, nullptr, sizeof(Block), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    for (int row = 0; row < count; ++row) {
      for (int column = 0; column < 6; ++column) {
        Block local{};
        local.item.iSubItem = column;
        local.item.pszText = remote->text;
        local.item.cchTextMax = sizeof local.text;
        WriteProcessMemory(process, remote, &local, sizeof local, nullptr);
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote->text, local.text, sizeof local.text, nullptr);
        local.text[sizeof local.text - 1] = '\0';
        if (what == "rows") std::printf("%s%s", column ? " | " : "", local.text);
        if (what == "reveal" && column == 3 && std::string(local.text).rfind("yes (", 0) == 0) {
          // Scroll so that the row stands a few rows below the top, then select it.
          SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(std::min(count - 1, row + 14)),
                       FALSE);
          SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(std::max(0, row - 3)), FALSE);
          Block select{};
          select.item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
          select.item.state = LVIS_SELECTED | LVIS_FOCUSED;
          WriteProcessMemory(process, remote, &select, sizeof select.item, nullptr);
          SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(remote));
          // Where the row's first cell lies on the screen, for a click on it.
          RECT bounds{};
          bounds.left = LVIR_LABEL;
          WriteProcessMemory(process, remote, &bounds, sizeof bounds, nullptr);
          SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(remote));
          ReadProcessMemory(process, remote, &bounds, sizeof bounds, nullptr);
          POINT cell{bounds.left + 40, (bounds.top + bounds.bottom) / 2};
          ClientToScreen(list, &cell);
          VirtualFreeEx(process, remote, 0, MEM_RELEASE);
          std::printf("row %d %ld %ld\n", row, static_cast<long>(cell.x),
                      static_cast<long>(cell.y));
          return 0;
        }
      }
      if (what == "rows") std::printf("\n");
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return 0;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "hold") return Hold();
  if (argc > 1 && std::string(argv[1]) == "probe") return Probe(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
