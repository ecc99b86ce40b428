// Benchmark: the application's transfer of a finished job's results into the
// list view (TransferResults, as ScanFinished runs it) against the floor, a
// bare loop of LVM_INSERTITEMA and LVM_SETITEMTEXTA with the same texts into
// the same list view. The results come from the stand-in engine beside this
// program (FAKE_ENGINE_ENTRIES entries, default 50,000). Goal: at most 1.5
// times the floor.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app_state.h"
#include "engine_binding.h"
#include "main_window.h"
#include "result_view.h"

using namespace ostrelle;

namespace {

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

// The texts of every entry after the title entry, read through the exports.
std::vector<std::vector<std::string>> ReadAllEntries() {
  std::vector<std::vector<std::string>> rows;
  OSTRELLE_CALL_ENGINE0(SetScanlistToStart);
  bool first = true;
  for (;;) {
    std::vector<std::string> row;
    for (const char* name : tarvex::kFieldNames) {
      const intptr_t address = OSTRELLE_CALL_ENGINE(GetScanlistEntry, name);
      if (address <= 0) return rows;
      row.push_back(reinterpret_cast<const char*>(address));
    }
    if (!first) rows.push_back(row);
    first = false;
  }
}

void BareLoop(HWND list, const std::vector<std::vector<std::string>>& rows) {
  int index = 0;
  for (const auto& row : rows) {
    for (int column = 0; column < 6; ++column) {
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = index;
      item.pszText = const_cast<char*>(row[column].c_str());
      item.cchTextMax = static_cast<int>(row[column].size());
      if (column == 0) {
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
      } else {
        item.iSubItem = column;
        SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item));
      }
    }
    ++index;
  }
}

void ClearList(HWND list) {
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

}  // namespace

int main() {
  AppState& app = App();
  app.instance = GetModuleHandleA(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  if (!CreateMainWindow()) {
    std::printf("window not created\n");
    return 1;
  }
  LoadEngine();
  // The stand-in engine fills its list when a scan export is called.
  OSTRELLE_CALL_ENGINE(TarvexAllProcesses, static_cast<void*>(nullptr),
                       static_cast<TarvexTimerProc>(nullptr), 0);
  const auto rows = ReadAllEntries();
  if (rows.empty()) {
    std::printf("no entries from the stand-in engine\n");
    return 1;
  }
  std::printf("entries: %zu\n", rows.size());

  // Floor: the bare loop with the list view's redraw switched off, the
  // fastest way to put the same texts into the same list view. (With redraw
  // on, Wine repaints the list view and its scroll bars for every row; that
  // loop is measured once on a sample below, for comparison.)
  std::vector<double> floorTimes, transferTimes;
  for (int round = 0; round < 5; ++round) {
    ClearList(app.listView);
    LARGE_INTEGER start = Now();
    SendMessageA(app.listView, WM_SETREDRAW, FALSE, 0);
    BareLoop(app.listView, rows);
    SendMessageA(app.listView, WM_SETREDRAW, TRUE, 0);
    floorTimes.push_back(Seconds(start, Now()));
    const int floorCount = static_cast<int>(SendMessageA(app.listView, LVM_GETITEMCOUNT, 0, 0));

    ClearList(app.listView);
    start = Now();
    TransferResults();
    transferTimes.push_back(Seconds(start, Now()));
    const int transferCount = static_cast<int>(SendMessageA(app.listView, LVM_GETITEMCOUNT, 0, 0));
    if (floorCount != transferCount || transferCount != static_cast<int>(rows.size())) {
      std::printf("row counts differ: floor %d, transfer %d\n", floorCount, transferCount);
      return 1;
    }
    std::printf("round %d: floor %.3f s, transfer %.3f s\n", round + 1, floorTimes.back(),
                transferTimes.back());
  }
  const double floorBest = *std::min_element(floorTimes.begin(), floorTimes.end());
  const double transferBest = *std::min_element(transferTimes.begin(), transferTimes.end());
  const double ratio = transferBest / floorBest;
  std::printf("best of 5: floor %.3f s, transfer %.3f s, ratio %.2f (goal <= 1.50) %s\n", floorBest,
              transferBest, ratio, ratio <= 1.5 ? "met" : "MISSED");

  const size_t sampleCount = std::min<size_t>(rows.size(), 300);
  const std::vector<std::vector<std::string>> sample(rows.begin(),
                                                     rows.begin() + static_cast<long>(sampleCount));
  ClearList(app.listView);
  const LARGE_INTEGER start = Now();
  BareLoop(app.listView, sample);
  const double plain = Seconds(start, Now());
  std::printf(
      "bare loop with redraw on: %zu rows in %.3f s (%.2f ms per row); transfer: %.4f ms per row\n",
      sampleCount, plain, 1000.0 * plain / static_cast<double>(sampleCount),
      1000.0 * transferBest / static_cast<double>(rows.size()));
  DestroyWindow(app.mainWindow);
  return 0;
}
