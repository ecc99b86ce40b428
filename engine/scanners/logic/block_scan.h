// The core of the buffer scan: one block handed to AMSI (in pieces when it is
// longer than AMSI's 32-bit length) and the one entry it gets. The AMSI call
// and the system's texts come in through BlockScanHost, so the core runs
// natively under test with answers a test makes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "job_record.h"
#include "scan_verdict.h"

namespace tarvex {

// What the buffer scan needs from the platform.
class BlockScanHost {
 public:
  virtual ~BlockScanHost() = default;
  // AmsiScanBuffer on length bytes at offset into the block, with the job's
  // AMSI context, the block's content name and no session.
  virtual AmsiAnswer ScanPiece(uint64_t offset, uint32_t length) = 0;
  // The system's text for a Windows error number; empty when it has none.
  virtual std::string SystemErrorText(uint32_t errorNumber) = 0;
  // Windows error number of an HRESULT (LsaNtStatusToWinError).
  virtual uint32_t ErrorNumberOf(int32_t status) = 0;
};

// What the buffer scan reads of its job besides the record.
struct BlockScanJob {
  int languageIndex = 0;
  int32_t findingsOnly = 0;
  std::string_view sessionNote;  // the AMSI session's note, appended to every scan message
};

// Scans a block of length bytes and appends its entry. IsMalware is the
// verdict word (none for a clean answer when findingsOnly is set) and the AMSI
// result; the scan message is the system's text for the answer's HRESULT and
// the session note. The first answer of a job sets the job error number while
// it is 0; the job verdict follows the outcome (NextJobVerdict).
void ScanBlock(BlockScanHost& host, const EntrySubject& subject, uint64_t length,
               const BlockScanJob& job, JobRecord& record);

// The entry of a block that cannot be handed to AMSI at all: an unsupported
// system, or Amsi.dll or one of its functions missing on a supported one. The
// job error number becomes 119 (ERROR_BAD_DRIVER_LEVEL).
void AppendUnsupportedEntry(BlockScanHost& host, const EntrySubject& subject, int languageIndex,
                            JobRecord& record);

}  // namespace tarvex
