// ScanFinished, the result transfer, the progress display and deleting results.
#include "result_view.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "app_state.h"
#include "engine_binding.h"
#include "log_file.h"
#include "main_window.h"
#include "menu_state.h"
#include "scan_commands.h"
#include "text_table.h"

namespace ostrelle {
namespace {

// Six values of one entry; values of 0 or below (end of list, unknown field) are missing.
struct FetchedEntry {
  intptr_t values[TARVEX_FIELD_COUNT];
  bool Present(int index) const { return values[index] > 0; }
  bool AllPresent() const {
    for (int i = 0; i < TARVEX_FIELD_COUNT; ++i) {
      if (!Present(i)) return false;
    }
    return true;
  }
  const char* TextAt(int index) const {
    return Present(index) ? reinterpret_cast<const char*>(values[index]) : "";
  }
};

FetchedEntry FetchEntry() {
  FetchedEntry entry{};
  for (int i = 0; i < TARVEX_FIELD_COUNT; ++i) {
    entry.values[i] = OSTRELLE_CALL_ENGINE(GetScanlistEntry, tarvex::kFieldNames[i]);
  }
  return entry;
}

std::string EngineText(intptr_t address) {
  return address > 0 ? std::string(reinterpret_cast<const char*>(address)) : std::string();
}

// Commands chosen during the transfer are dropped with the transfer's
// other input; one posted just before its end would otherwise run after it.
void DropWaitingCommands() {
  MSG message;
  while (PeekMessageA(&message, App().mainWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
  }
}

// Keeps the window painted during a long transfer without paying for a
// repaint of the list view and its scroll bars on every inserted row: the
// list view's redraw is off between pumps; at each pump it is switched on,
// the waiting events (paint included) are dispatched, and it is switched off
// again. Pumps come every 25 ms at most, and never closer than sixteen times
// the last pump took, so painting costs at most about a sixteenth of the transfer
// however slow the display is.
class TransferPump {
 public:
  explicit TransferPump(HWND listView) : listView_(listView) {
    QueryPerformanceFrequency(&frequency_);
    SendMessageA(listView_, WM_SETREDRAW, FALSE, 0);
    next_ = Now() + Ticks(kMinimumIntervalMs);
  }
  ~TransferPump() {
    SendMessageA(listView_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listView_, nullptr, TRUE);
    PumpWaitingEventsWithoutInput();
  }
  TransferPump(const TransferPump&) = delete;
  TransferPump& operator=(const TransferPump&) = delete;

  void MaybePump() {
    const LONGLONG start = Now();
    if (start < next_) return;
    SendMessageA(listView_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listView_, nullptr, FALSE);
    PumpWaitingEventsWithoutInput();
    SendMessageA(listView_, WM_SETREDRAW, FALSE, 0);
    const LONGLONG end = Now();
    const LONGLONG wait = std::max(Ticks(kMinimumIntervalMs), 16 * (end - start));
    next_ = end + wait;
  }

 private:
  static constexpr LONGLONG kMinimumIntervalMs = 25;
  static LONGLONG Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
  }
  LONGLONG Ticks(LONGLONG milliseconds) const { return frequency_.QuadPart * milliseconds / 1000; }

  HWND listView_;
  LARGE_INTEGER frequency_{};
  LONGLONG next_ = 0;
};

}  // namespace

void SetCellText(int row, int column, const char* text) {
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<char*>(text);
  item.cchTextMax = static_cast<int>(std::strlen(text));
  if (column == 0) {
    SendMessageA(App().listView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  } else {
    item.iSubItem = column;
    SendMessageA(App().listView, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
  }
}

void SetColumnTitle(int column, const char* text) {
  LVCOLUMNA fields{};
  fields.mask = LVCF_TEXT;
  fields.pszText = const_cast<char*>(text);
  SendMessageA(App().listView, LVM_SETCOLUMNA, static_cast<WPARAM>(column),
               reinterpret_cast<LPARAM>(&fields));
}

void TransferResults() {
  AppState& app = App();
  app.transferring = true;
  OSTRELLE_CALL_ENGINE0(SetScanlistToStart);
  FetchedEntry entry = FetchEntry();
  if (entry.Present(0) && entry.Present(1) && entry.Present(2) && entry.Present(3) &&
      entry.Present(4)) {
    for (int column = 0; column < 6; ++column) SetColumnTitle(column, entry.TextAt(column));
  }
  app.rowCursor = static_cast<int>(SendMessageA(app.listView, LVM_GETITEMCOUNT, 0, 0));
  {
    TransferPump pump(app.listView);
    while (entry.AllPresent()) {
      pump.MaybePump();
      entry = FetchEntry();
      if (entry.AllPresent()) {
        for (int column = 0; column < 6; ++column) {
          SetCellText(app.rowCursor, column, entry.TextAt(column));
        }
      }
      ++app.rowCursor;
    }
  }
  DropWaitingCommands();
  app.transferring = false;
}

void __stdcall ScanFinished(void* window, unsigned int, uintptr_t, unsigned long) {
  AppState& app = App();
  KillTimer(app.mainWindow, TARVEX_NOTIFY_TIMER_ID);
  // Only a running job is finished: a notification that comes after the
  // cancel command, or while a transfer runs, is not a job's end.
  if (app.transferring || app.phase != ScanPhase::Running) return;
  app.phase = ScanPhase::Idle;
  TransferResults();
  AppendScanFooter(EngineText(OSTRELLE_CALL_ENGINE0(GetScanfile)));
  SetMenuState(ScanPhase::Idle);
  SetStatusText(Text(kTextReady));
  if (app.automaticStep != 0) {
    ++app.automaticStep;
    if (app.automaticStep == 2) {
      RunScanCommand(kCmdScanAllStreams);
    } else if (app.automaticStep == 3) {
      if (!app.automaticLogPath.empty()) {
        const LogSaveOutcome outcome =
            WriteAndOpenLog(app.automaticLogPath, static_cast<HWND>(window));
        ShowLogSaveOutcome(outcome, app.automaticLogPath);
        // The automatic mode runs unattended and ends by itself either way;
        // a log that could not be written ends it with exit code 1, so the
        // task that started it sees the failure instead of a success.
        if (outcome == LogSaveOutcome::NotWritten) app.exitCode = 1;
      }
      SendMessageA(app.mainWindow, WM_CLOSE, 0, 0);
    }
  }
}

void ProgressUpdate() {
  const intptr_t address = OSTRELLE_CALL_ENGINE0(GetScanObject);
  if (EngineText(address).empty()) return;
  const std::string object = EngineText(OSTRELLE_CALL_ENGINE0(GetScanObject));
  SetStatusText((std::string(Text(kTextInProgress)) + "   " + object).c_str());
}

void DeleteResults() {
  AppState& app = App();
  if (app.menuBar != nullptr) {
    EnableMenuItem(app.menuBar, kCmdCreateLogFile, MF_BYCOMMAND | MF_GRAYED);
  }
  app.rowCursor = 0;
  app.logText.clear();
  SendMessageA(app.listView, LVM_DELETEALLITEMS, 0, 0);
}

}  // namespace ostrelle
