// Message-only window, timers and console control events around one job.
#include "scan_session.h"

#include <windows.h>

#include <atomic>
#include <memory>

#include "console_io.h"

namespace tarvex::console {
namespace {

constexpr UINT_PTR kPollTimerId = 1;
constexpr UINT kPollElapseMs = 200;  // progress refresh and cancel check
constexpr UINT kCancelMessage = WM_APP + 1;
const char kWindowClass[] = "OstrelleCmdJobWindow";

// Shared with the console control handler, which runs on a thread of its own.
std::atomic<bool> g_cancelRequested{false};
std::atomic<HWND> g_jobWindow{nullptr};
std::atomic<bool> g_synchronousJob{false};
const EngineExports* g_engine = nullptr;
std::atomic<HANDLE> g_cancelEvent{nullptr};  // CancelHandler's event while it is installed

// State of the running asynchronous job, touched on the main thread only.
struct AsyncJob {
  ProgressDisplay* progress = nullptr;
  bool finished = false;
  bool cancelled = false;
};
AsyncJob* g_job = nullptr;

void CALLBACK ScanFinished(HWND window, UINT, UINT_PTR, DWORD) {
  KillTimer(window, TARVEX_NOTIFY_TIMER_ID);
  if (g_job != nullptr && !g_job->finished) {
    g_job->finished = true;
    PostQuitMessage(0);
  }
}

TarvexTimerProc JobTimerProc() { return reinterpret_cast<TarvexTimerProc>(&ScanFinished); }

// Asks the engine to stop until it has built its report: a cancel that
// arrives before the worker has started its job would be cleared by the job's
// start, so it is repeated on every poll.
void PollCancel() {
  g_engine->CancleScan(JobTimerProc());
  if (g_engine->GetScanfileLength() > 0 && !g_job->finished) {
    g_job->finished = true;
    g_job->cancelled = true;
    PostQuitMessage(0);
  }
}

void CALLBACK PollJob(HWND, UINT, UINT_PTR, DWORD) {
  if (g_job == nullptr || g_job->finished) return;
  if (g_cancelRequested.load()) {
    PollCancel();
    return;
  }
  const char* scanObject = reinterpret_cast<const char*>(g_engine->GetScanObject());
  g_job->progress->Show(scanObject == nullptr ? "" : scanObject, g_engine->GetScanlistSize() - 1);
}

LRESULT CALLBACK JobWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCancelMessage) {
    if (g_job != nullptr && !g_job->finished) PollCancel();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

BOOL WINAPI OnConsoleControl(DWORD controlType) {
  g_cancelRequested.store(true);
  const HANDLE cancelEvent = g_cancelEvent.load();
  if (cancelEvent != nullptr) SetEvent(cancelEvent);
  // A synchronous job was started without a timer procedure; its cancel key is null.
  if (g_synchronousJob.load() && g_engine != nullptr) g_engine->CancleScan(nullptr);
  const HWND window = g_jobWindow.load();
  if (window != nullptr) PostMessageA(window, kCancelMessage, 0, 0);
  if (controlType == CTRL_CLOSE_EVENT || controlType == CTRL_LOGOFF_EVENT ||
      controlType == CTRL_SHUTDOWN_EVENT) {
    // The process ends when this returns; give the engine a moment to stop.
    Sleep(2000);
  }
  return TRUE;
}

}  // namespace

void EngineEntryCursor::Restart() { engine_.SetScanlistToStart(); }

bool EngineEntryCursor::Next(ConsoleEntry* entry) {
  EntryFields values;
  if (!ReadNextEntry(engine_, &values)) return false;
  entry->processName = std::move(values[0]);
  entry->processId = std::move(values[1]);
  entry->scantarget = std::move(values[2]);
  entry->isMalware = std::move(values[3]);
  entry->scannermessage = std::move(values[4]);
  entry->scannerErrornumber = std::move(values[5]);
  return true;
}

CancelHandler::CancelHandler(const EngineExports& engine)
    : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  g_engine = &engine;
  g_cancelEvent.store(event_.Get());
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

// The handler itself stays installed until the process ends (a Ctrl+C while
// the program finishes is still taken as a cancel, never as the end of the
// process); only the event goes, and the handler no longer sees it.
CancelHandler::~CancelHandler() { g_cancelEvent.store(nullptr); }

bool CancelRequested() { return g_cancelRequested.load(); }

namespace {

struct InputRead {
  std::vector<char> data;
  std::string error;
  bool ok = false;
};

// The thread shares ownership of what it reads into: when a cancel lets the
// program go on without it, the data stays valid until the thread ends.
DWORD WINAPI ReadInputThread(LPVOID parameter) {
  const std::unique_ptr<std::shared_ptr<InputRead>> owner(
      static_cast<std::shared_ptr<InputRead>*>(parameter));
  InputRead* read = owner->get();
  try {
    read->ok = ReadStandardInput(&read->data, &read->error);
  } catch (const std::bad_alloc&) {
    read->data.clear();
    read->error = "stdin: not enough memory for the data";
  }
  return 0;
}

}  // namespace

InputOutcome ReadInputUnlessCancelled(std::vector<char>* data, std::string* error) {
  // A read from a pipe ends only when the writer closes it; the reader thread
  // is left behind when a cancel comes first (the process ends right after).
  const auto read = std::make_shared<InputRead>();
  auto threadShare = std::make_unique<std::shared_ptr<InputRead>>(read);
  UniqueHandle thread(CreateThread(nullptr, 0, &ReadInputThread, threadShare.get(), 0, nullptr));
  if (thread) {
    threadShare.release();  // now owned by the thread
  } else {
    ReadInputThread(threadShare.release());
  }
  if (thread) {
    const HANDLE cancelEvent = g_cancelEvent.load();
    const HANDLE waits[2] = {thread.Get(), cancelEvent};
    const DWORD count = cancelEvent != nullptr ? 2 : 1;
    if (WaitForMultipleObjects(count, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
      return InputOutcome::Cancelled;
    }
  }
  if (g_cancelRequested.load()) return InputOutcome::Cancelled;
  if (!read->ok) {
    *error = read->error;
    return InputOutcome::Failed;
  }
  data->swap(read->data);
  return InputOutcome::Read;
}

bool RunAsynchronousJob(const EngineExports& engine,
                        const std::function<void(void* window, TarvexTimerProc proc)>& start,
                        JobOutcome* outcome, std::string* error) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &JobWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);
  UniqueWindow window(CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      instance, nullptr));
  if (!window) {
    const DWORD windowError = GetLastError();
    *error = "cannot create the job window: " + SystemErrorLine(windowError);
    return false;
  }

  ProgressDisplay progress;
  AsyncJob job;
  job.progress = &progress;
  g_job = &job;
  g_jobWindow.store(window.Get());
  SetTimer(window.Get(), kPollTimerId, kPollElapseMs, &PollJob);
  start(window.Get(), JobTimerProc());
  if (g_cancelRequested.load()) PollCancel();

  MSG message;
  while (!job.finished && GetMessageA(&message, nullptr, 0, 0) > 0) {
    DispatchMessageA(&message);
  }
  KillTimer(window.Get(), kPollTimerId);
  progress.Clear();
  g_jobWindow.store(nullptr);
  g_job = nullptr;

  outcome->cancelled = job.cancelled || g_cancelRequested.load();
  outcome->jobVerdict = engine.GetScanResult();
  return true;
}

void RunSynchronousJob(const EngineExports& engine, const std::function<intptr_t()>& start,
                       JobOutcome* outcome) {
  g_synchronousJob.store(true);
  if (!g_cancelRequested.load()) start();
  g_synchronousJob.store(false);
  outcome->cancelled = g_cancelRequested.load();
  outcome->jobVerdict = engine.GetScanResult();
}

}  // namespace tarvex::console
