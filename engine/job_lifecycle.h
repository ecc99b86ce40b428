// The frame of every scan job: BeginScanJob before the scanner runs, EndScanJob after.
#pragma once

#include <windows.h>

#include "result_list.h"

namespace tarvex {

// The title entry in the engine's language.
ResultEntry TitleEntry();

// Resets the job state, enables the debug and backup privileges, seeds the
// result list with the title entry and starts the AMSI session, whose result
// it returns. May throw when memory runs out; the frame then records the stop
// and still runs EndScanJob.
HRESULT BeginScanJob();

// Restores the privileges, ends the AMSI session and closes the job (CloseJob).
void EndScanJob() noexcept;

// The last steps of every job, also of one that could not be started: the
// scan object text emptied, the text report built (a shorter one when memory
// is short, job_frame.h), the caller notified when the job is asynchronous and
// was not cancelled, and the cancel flag cleared.
void CloseJob() noexcept;

}  // namespace tarvex
