/* tarvex.h - exported interface of the tarvex scan engine (tarvex64.dll, tarvex.dll).
 *
 * Compiles as C and C++ without <windows.h>. Every export takes and returns
 * pointer-sized integers; texts are zero-terminated 8-bit strings in the ANSI
 * code page. In the x86 library every export is stdcall with an undecorated
 * name; the x64 library exports the same names.
 *
 * Contract shared by the scan exports:
 *  - text arguments are copied before the export returns; a null text pointer
 *    is taken as an empty text;
 *  - a buffer handed to TarvexBuffer must stay valid until the job has ended;
 *  - the asynchronous exports return 0 at once; at the end of a job that was
 *    not cancelled the engine arms the timer TARVEX_NOTIFY_TIMER_ID (every
 *    TARVEX_NOTIFY_ELAPSE_MS) on the caller's window with the caller's timer
 *    procedure; the caller kills that timer and then reads the results;
 *  - the synchronous exports (TarvexAds2, TarvexBuffer2) run the job on the
 *    caller's thread and return the job verdict (-1 nothing scanned, 0 clean,
 *    1 detection);
 *  - a scan export called while an earlier job is still ending waits for that
 *    job's worker to finish before it starts the new job.
 */
#ifndef TARVEX_H
#define TARVEX_H

#include <stdint.h>

#include "tarvex_names.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TARVEX_CALL __stdcall
#define TARVEX_NOTIFY_TIMER_ID 123321
#define TARVEX_NOTIFY_ELAPSE_MS 333

/* Same shape as the Windows TIMERPROC (HWND, UINT, UINT_PTR, DWORD). */
typedef void(TARVEX_CALL* TarvexTimerProc)(void* window, unsigned int message, uintptr_t timerId,
                                           unsigned long tickCount);

#ifdef TARVEX_BUILDING_ENGINE
#define TARVEX_API
#else
#define TARVEX_API __declspec(dllimport)
#endif

/* The 18 exports, each as X(name, (parameters)); every one returns intptr_t.
 * The declarations below, the function pointer types TarvexAdsFn, ... and the
 * loader (tarvex_loader.h) are all made from this one list. */
#define TARVEX_EXPORTS(X)                                                                         \
  /* Scan exports. */                                                                             \
  X(TarvexAds, (void* window, TarvexTimerProc timerProc, const char* path, int32_t findingsOnly)) \
  X(TarvexAds2, (const char* path, int32_t findingsOnly))                                         \
  X(TarvexAdsInFile,                                                                              \
    (void* window, TarvexTimerProc timerProc, const char* path, int32_t findingsOnly))            \
  /* An empty folder path scans all fixed and removable drives. */                                \
  X(TarvexAdsInFolder,                                                                            \
    (void* window, TarvexTimerProc timerProc, const char* folderPath, int32_t findingsOnly))      \
  X(TarvexAllProcesses, (void* window, TarvexTimerProc timerProc, int32_t findingsOnly))          \
  X(TarvexProcessWithName,                                                                        \
    (void* window, TarvexTimerProc timerProc, const char* executableName, int32_t findingsOnly))  \
  X(TarvexProcessWithPid, (void* window, TarvexTimerProc timerProc, intptr_t processId,           \
                           const char* processName, int32_t findingsOnly))                        \
  X(TarvexBuffer, (void* window, TarvexTimerProc timerProc, const char* contentName,              \
                   const void* buffer, uintptr_t bufferLength, int32_t findingsOnly,              \
                   const char* processName, const char* processIdText))                           \
  X(TarvexBuffer2, (const char* contentName, const void* buffer, uintptr_t bufferLength,          \
                    int32_t findingsOnly, const char* processName, const char* processIdText))    \
  /* Cancels the running job when timerProc is the one it was started with. */                    \
  X(CancleScan, (TarvexTimerProc timerProc))                                                      \
  /* 0 no AMSI context, 1 context only, 2 context and session (state of the last job). */         \
  X(IsAmsiAvailable, (void))                                                                      \
  /* Address of the text naming the object being scanned; the address never changes. */           \
  X(GetScanObject, (void))                                                                        \
  X(GetScanResult, (void))                                                                        \
  /* Address and length of the job's text report. */                                              \
  X(GetScanfile, (void))                                                                          \
  X(GetScanfileLength, (void))                                                                    \
  /* Next value of one result field (TARVEX_FIELD_NAME_LIST): an address, 0 at the end of the     \
   * list, -1 for an unknown field name. */                                                       \
  X(GetScanlistEntry, (const char* fieldName))                                                    \
  X(GetScanlistSize, (void))                                                                      \
  X(SetScanlistToStart, (void))

#define TARVEX_DECLARE_EXPORT(name, parameters) TARVEX_API intptr_t TARVEX_CALL name parameters;
TARVEX_EXPORTS(TARVEX_DECLARE_EXPORT)
#undef TARVEX_DECLARE_EXPORT

#define TARVEX_DECLARE_EXPORT_TYPE(name, parameters) \
  typedef intptr_t(TARVEX_CALL* name##Fn) parameters;
TARVEX_EXPORTS(TARVEX_DECLARE_EXPORT_TYPE)
#undef TARVEX_DECLARE_EXPORT_TYPE

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_H */
