// The few AMSI declarations the engine needs; Amsi.dll is bound at run time.
#pragma once

#include <windows.h>

namespace tarvex {

using HAMSICONTEXT = void*;
using HAMSISESSION = void*;
using AMSI_RESULT = int;

using AmsiInitializeFn = HRESULT(WINAPI*)(LPCWSTR appName, HAMSICONTEXT* amsiContext);
using AmsiOpenSessionFn = HRESULT(WINAPI*)(HAMSICONTEXT amsiContext, HAMSISESSION* amsiSession);
using AmsiScanBufferFn = HRESULT(WINAPI*)(HAMSICONTEXT amsiContext, PVOID buffer, ULONG length,
                                          LPCWSTR contentName, HAMSISESSION amsiSession,
                                          AMSI_RESULT* result);
using AmsiCloseSessionFn = void(WINAPI*)(HAMSICONTEXT amsiContext, HAMSISESSION amsiSession);
using AmsiUninitializeFn = void(WINAPI*)(HAMSICONTEXT amsiContext);

}  // namespace tarvex
