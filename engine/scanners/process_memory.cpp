// ScanProcessMemory: the committed, readable memory of one process, run by
// run. Adjacent readable regions form one run; each run is copied with one
// ReadProcessMemory call and handed to ScanBufferCore.
#include <windows.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "engine_state.h"
#include "fault_injection.h"
#include "not_scanned.h"
#include "process_image_path.h"
#include "scan_verdict.h"
#include "scanners.h"
#include "scanners/logic/address_reach.h"
#include "scanners/logic/region_runs.h"
#include "system_text.h"
#include "text_limits.h"
#include "virtual_buffer.h"
#include "win32_handles.h"
#include "wow64.h"

namespace tarvex {
namespace {

constexpr DWORD kProcessAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x0410

using Address = uintptr_t;

// The opened process and what its entries carry.
struct ScannedProcess {
  HANDLE handle;
  std::string name;    // the image path when it was found
  std::string idText;  // decimal
  int32_t findingsOnly;
  bool isEngineProcess;  // the process the engine runs in
};

// A not-scanned entry of the process: the bare "not scanned", the message
// "<operation> -> <reason><session note>" (no operation: the reason alone)
// and the job error number, which is already set.
void AppendNotScanned(const EntrySubject& subject, const char* operation, std::string reason) {
  EngineState& engine = Engine();
  NotScannedCause cause;
  cause.verdictWord = Text(MessageRow::VerdictNotScanned);
  cause.form = NotScannedForm::BareWord;
  cause.operation = operation;
  cause.reason = std::move(reason);
  cause.sessionNote = engine.amsi.sessionNote;
  AppendNotScannedEntry(engine.record.results, subject, cause, engine.record.errorNumber);
}

// Copies one run into a buffer of its own and scans the copy. The engine's
// own process is copied like any other: another thread of the host may
// release or re-protect part of the run after it was queried, which makes
// the copy fail with an entry instead of faulting inside the scan. The buffer
// is a fresh mapping rather than heap memory, so it never lies inside a run
// of the engine's own heap while that run is being copied.
void ScanRun(const ScannedProcess& process, const RegionRun<Address>& run,
             const std::string& target) {
  EngineState& engine = Engine();
  VirtualBuffer buffer(run.length);
  if (buffer.Data() == nullptr) {
    engine.record.errorNumber = kErrorNotEnoughMemory;
    AppendNotScanned({process.name, process.idText, target}, "",
                     Text(MessageRow::CouldNotAllocate));
    return;
  }

  SetLastError(0);
  SIZE_T copiedLength = 0;
  const BOOL copied = ReadProcessMemory(process.handle, reinterpret_cast<const void*>(run.start),
                                        buffer.Data(), run.length, &copiedLength);
  const DWORD readError = GetLastError();
  // A foreign process's read stores its error whatever the outcome. The
  // engine's own process is copied only as a guard; a copy that worked leaves
  // the job error number alone, as scanning in place would.
  if (!process.isEngineProcess || !copied) {
    engine.record.errorNumber = static_cast<intptr_t>(readError);
  }
  if (!copied) {
    AppendNotScanned({process.name, process.idText, target}, "ReadProcessMemory",
                     SystemErrorText(readError));
    return;
  }
  // The whole run goes to ScanBufferCore with its pointer-sized length; runs
  // longer than AMSI's 32-bit length are split there, never cut.
  ScanBufferCore(target, buffer.Data(), run.length, process.findingsOnly, process.name,
                 process.idText);
}

// One entry for the part of the process's address space the walk cannot
// reach (address_reach.h), so that such a process never reads as wholly scanned.
void AppendUnreachableMemory(const ScannedProcess& process) {
  const std::optional<AddressRange> unreachable =
      UnreachableMemory(sizeof(void*) * 8, IsUnderWow64(GetCurrentProcess()).value_or(false),
                        IsUnderWow64(process.handle));
  if (!unreachable) return;
  EngineState& engine = Engine();
  engine.record.errorNumber = ERROR_PARTIAL_COPY;
  const RegionRun<uint64_t> range{unreachable->start, unreachable->end - unreachable->start};
  AppendNotScanned(
      {process.name, process.idText, RunTargetText(Text(MessageRow::AddressLabel), range)}, "",
      Text(MessageRow::OutOfReach32Bit));
}

void WalkAddressSpace(const ScannedProcess& process) {
  EngineState& engine = Engine();
  const std::string addressLabel = Text(MessageRow::AddressLabel);
  RegionWalk<Address> walk;
  for (;;) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQueryEx(process.handle, reinterpret_cast<const void*>(walk.QueryAddress()), &region,
                       sizeof region) == 0) {
      break;  // also the normal end at the top of the address space
    }
    engine.scanObject.Set(
        RegionProgressText(process.name, reinterpret_cast<Address>(region.BaseAddress)));
    const std::optional<RegionRun<Address>> closed =
        walk.Take(region.State, region.Protect, static_cast<Address>(region.RegionSize));
    if (closed) ScanRun(process, *closed, RunTargetText(addressLabel, *closed));
    if (walk.Ended() || CancelRequested()) break;
  }
}

}  // namespace

void ScanProcessMemory(intptr_t processId, const std::string& processName, int32_t findingsOnly) {
  EngineState& engine = Engine();
  const std::string givenName = processName;
  const std::string idText = DecimalText(processId);

  // A process id is a DWORD; a value outside that range must not open the
  // process whose id its low 32 bits happen to be.
  const bool idInRange =
      processId >= 0 && static_cast<uintmax_t>(processId) <= std::numeric_limits<DWORD>::max();
  SetLastError(0);
  UniqueHandle handle(idInRange ? OpenProcess(kProcessAccess, FALSE, static_cast<DWORD>(processId))
                                : nullptr);
  const DWORD openError = idInRange ? GetLastError() : ERROR_INVALID_PARAMETER;
  if (!handle) {
    engine.record.errorNumber = static_cast<intptr_t>(openError);
    AppendNotScanned({givenName, idText, std::string()}, "OpenProcess", SystemErrorText(openError));
    return;
  }

  FailAllocationAt("ScanProcessMemory");
  const ScannedProcess process{
      handle.Get(), ImagePathOrGivenName(handle.Get(), givenName, engine.queryFullProcessImageName),
      idText, findingsOnly, processId == static_cast<intptr_t>(GetCurrentProcessId())};
  WalkAddressSpace(process);
  if (!CancelRequested()) AppendUnreachableMemory(process);
}

}  // namespace tarvex
