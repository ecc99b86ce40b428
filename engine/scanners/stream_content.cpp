// ScanStreamContent: reads one file or stream whole and hands it to the buffer scan.
#include <windows.h>

#include <cstdint>

#include "engine_state.h"
#include "fault_injection.h"
#include "not_scanned.h"
#include "scan_verdict.h"
#include "scanners.h"
#include "scanners/logic/stream_read.h"
#include "stream_scanners.h"
#include "system_text.h"
#include "virtual_buffer.h"
#include "wide_paths.h"
#include "win32_handles.h"

namespace tarvex {
namespace {

// A not-scanned entry of a file or stream: "not scanned (0)", the message
// "<operation> -> <reason>" (without an operation the reason alone) and the
// job error number.
void AppendReadFailure(const std::string& target, std::string operation, std::string reason) {
  EngineState& engine = Engine();
  NotScannedCause cause;
  cause.verdictWord = Text(MessageRow::VerdictNotScanned);
  cause.form = NotScannedForm::WordAndResult;
  cause.operation = std::move(operation);
  cause.reason = std::move(reason);
  AppendNotScannedEntry(engine.record.results, EntrySubject{std::string(), std::string(), target},
                        cause, engine.record.errorNumber);
}

void RecordFailure(const std::string& target, std::string reason) {
  AppendReadFailure(target, "ReadFile", std::move(reason));
}

void RecordNoMemory(const std::string& target) {
  Engine().record.errorNumber = kErrorNotEnoughMemory;
  RecordFailure(target, Text(MessageRow::CouldNotAllocate));
}

}  // namespace

void ScanStreamContentAt(const std::u16string& path, const std::string& target,
                         int32_t findingsOnly) {
  EngineState& engine = Engine();
  FailAllocationAt("ScanStreamContent");
  const std::u16string platformPath = PlatformPath(path);

  // Share mode read only: a stream someone holds for writing is a sharing violation.
  SetLastError(0);
  UniqueFileHandle stream(CreateFileW(WidePointer(platformPath), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  const DWORD openError = GetLastError();
  engine.record.errorNumber = static_cast<intptr_t>(openError);
  engine.scanObject.Set(target);
  PauseAt("ScanStreamContent");
  if (!stream) {
    RecordFailure(target, SystemErrorText(openError));
    return;
  }

  SetLastError(0);
  DWORD sizeHigh = 0;
  const DWORD sizeLow = GetFileSize(stream.Get(), &sizeHigh);
  const DWORD sizeError = GetLastError();
  engine.record.errorNumber = static_cast<intptr_t>(sizeError);
  if (sizeLow == INVALID_FILE_SIZE && sizeError != NO_ERROR) {
    RecordFailure(target, SystemErrorText(sizeError));
    return;
  }
  const uint64_t streamLength = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;

  switch (PlanStreamContent(streamLength, SIZE_MAX)) {
    case ContentPlan::NoData:
      RecordFailure(target, Text(MessageRow::NoData));
      return;
    case ContentPlan::TooLarge:
      RecordNoMemory(target);
      return;
    case ContentPlan::Read:
      break;
  }
  VirtualBuffer content(static_cast<size_t>(streamLength));
  if (content.Data() == nullptr) {
    RecordNoMemory(target);
    return;
  }

  SetFilePointer(stream.Get(), 0, nullptr, FILE_BEGIN);
  const ReadOutcome read = ReadInPieces(
      streamLength, kReadPieceMaxLength,
      [&](uint64_t offset, uint32_t requestLength, uint32_t* delivered, uint32_t* error) {
        DWORD count = 0;
        SetLastError(0);
        const BOOL ok =
            ReadFile(stream.Get(), content.Data() + offset, requestLength, &count, nullptr);
        *error = GetLastError();
        *delivered = count;
        return ok != FALSE;
      });

  if (read.deliveredLength > 0) {
    // Only what was read is content; a short read gets an entry of its own below.
    ScanBufferCore(target, content.Data(), static_cast<uintptr_t>(read.deliveredLength),
                   findingsOnly, std::string(), std::string());
  }
  if (read.deliveredLength < streamLength) {
    const uint32_t readError = ShortReadError(read.lastError);
    engine.record.errorNumber = static_cast<intptr_t>(readError);
    const std::string systemText = SystemErrorText(readError);
    if (read.deliveredLength == 0) {
      RecordFailure(target, systemText);
    } else {
      AppendReadFailure(target, std::string(),
                        ShortReadMessage(systemText, read.deliveredLength, streamLength));
    }
  }
}

void ScanStreamContent(const std::string& path, int32_t findingsOnly) {
  ScanStreamContentAt(U16FromAnsi(path), path, findingsOnly);
}

}  // namespace tarvex
