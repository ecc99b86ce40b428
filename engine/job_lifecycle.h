// The frame of every scan job: BeginScanJob before the scanner runs, EndScanJob after.
#pragma once

#include <windows.h>

#include <string>

namespace tarvex {

// Resets the job state, enables the debug and backup privileges, seeds the
// result list with the title entry and starts the AMSI session, whose result
// it returns.
HRESULT BeginScanJob();

// Restores the privileges, ends the AMSI session, builds the text report and,
// for an asynchronous job that was not cancelled, arms the caller's timer.
const std::string& EndScanJob();

}  // namespace tarvex
