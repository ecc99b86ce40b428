// One engine job run to its end from a console program: the asynchronous
// exports notify a window, so the session keeps a message-only window and
// pumps messages until the notification arrives or a cancel has taken effect.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "win32_handles.h"

#include "console_run_output.h"
#include "tarvex_loader.h"

namespace tarvex::console {

// How a job ended. Its entries stay in the engine until the next job and are
// read from there (EngineEntryCursor), also after a cancel: the engine keeps
// what it found before it stopped.
struct JobOutcome {
  bool cancelled = false;
  intptr_t jobVerdict = -1;
};

// The engine's result list, title entry first, read through its getters.
class EngineEntryCursor : public EntryCursor {
 public:
  explicit EngineEntryCursor(const EngineExports& engine) : engine_(engine) {}
  void Restart() override;
  bool Next(ConsoleEntry* entry) override;

 private:
  const EngineExports& engine_;
};

// Installs the Ctrl+C / Ctrl+Break handler (also in a process started in a
// new process group, where Ctrl+C starts out ignored) with the event that
// wakes a wait for standard input. One at a time.
class CancelHandler {
 public:
  explicit CancelHandler(const EngineExports& engine);
  ~CancelHandler();
  CancelHandler(const CancelHandler&) = delete;
  CancelHandler& operator=(const CancelHandler&) = delete;

 private:
  UniqueHandle event_;  // set with the cancel flag; wakes a wait for standard input
};

// True once Ctrl+C, Ctrl+Break or a console close was received.
bool CancelRequested();

enum class InputOutcome { Read, Failed, Cancelled };

// All of standard input, unless Ctrl+C comes first (then at once, even while
// a pipe's writer keeps it open).
InputOutcome ReadInputUnlessCancelled(std::vector<char>* data, std::string* error);

// Starts an asynchronous job with start(window, timer procedure) and waits
// for its end, or for the end of a cancel; progress goes to standard error
// when that is a console.
// Returns false with *error when the window cannot be made.
bool RunAsynchronousJob(const EngineExports& engine,
                        const std::function<void(void* window, TarvexTimerProc proc)>& start,
                        JobOutcome* outcome, std::string* error);

// Runs a synchronous job (TarvexBuffer2) on this thread.
void RunSynchronousJob(const EngineExports& engine, const std::function<intptr_t()>& start,
                       JobOutcome* outcome);

}  // namespace tarvex::console
