// What a job's scanners write: the job verdict, the job error number and the
// result entries. Readable from the end of one job until the start of the next.
#pragma once

#include <cstdint>

#include "result_list.h"

namespace tarvex {

struct JobRecord {
  // -1 nothing scanned, 0 everything scanned was clean, 1 at least one detection.
  intptr_t verdict = 0;
  // Windows error number of the job's most recent failure; every entry carries it.
  intptr_t errorNumber = 0;
  ResultList results;
};

}  // namespace tarvex
