// The engine's process-wide state: one instance, alive while the library is loaded.
// Only one job runs at a time; while it runs, the cancel flag and the scan
// object text are the only values another thread touches.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "amsi_session.h"
#include "job_record.h"
#include "message_table.h"
#include "scan_object_text.h"
#include "scanners/logic/folder_walk.h"
#include "win32_handles.h"

namespace tarvex {

// Arguments of the export that started the current job.
struct JobParameters {
  HWND callerWindow = nullptr;
  TIMERPROC callerTimerProc = nullptr;
  bool asynchronous = false;
  std::string targetText;   // path, executable name, or (buffer jobs) the process name
  std::string secondText;   // buffer jobs: the process id text
  std::string contentName;  // buffer jobs: name under which the buffer is scanned
  const void* bufferAddress = nullptr;
  uintptr_t bufferLength = 0;
  intptr_t processId = 0;
  int32_t findingsOnly = 0;
};

// WOW64 file-system redirection as the running job left it (wow64.h).
struct FsRedirectionOfJob {
  bool off = false;          // the job switched it off on its thread
  void* previous = nullptr;  // what to put back: the thread's state before the job
};

using QueryFullProcessImageNameAFn = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPSTR name,
                                                   PDWORD size);

struct EngineState {
  HMODULE module = nullptr;
  std::atomic<int32_t> cancelFlag{0};
  JobRecord record;  // verdict, error number and result entries of the job
  int32_t languageIndex = kEnglish;
  AmsiBinding amsi;
  QueryFullProcessImageNameAFn queryFullProcessImageName = nullptr;
  ScanObjectText scanObject;
  std::string textReport;
  FolderWorkList folderWorkList;  // folders the walk has still to list
  int32_t debugPrivilegeWasEnabled = 0;
  int32_t backupPrivilegeWasEnabled = 0;
  JobParameters job;
  // Worker of the most recent asynchronous job; a new job waits for it. Its
  // id tells whether that job itself, on its own thread, is calling.
  UniqueHandle lastWorker;
  DWORD lastWorkerId = 0;
  FsRedirectionOfJob fsRedirection;
  // The system's text for error 0, which every clean block's entry carries:
  // formatted once per job (BeginScanJob empties it).
  std::string successText;
  bool successTextKnown = false;
};

EngineState& Engine();

// Message-table text in the engine's language.
const char* Text(MessageRow row);

// Engine attach at library load: lists, message table, report, language,
// AMSI binding and the optional QueryFullProcessImageNameA.
void AttachEngine(HMODULE module);

// Thread-safe view of the cancel flag for the scanners' checkpoints.
inline bool CancelRequested() { return Engine().cancelFlag.load(std::memory_order_relaxed) != 0; }

}  // namespace tarvex
