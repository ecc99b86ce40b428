// ScanProcessMemory: the committed, readable memory of one process, run by
// run. Adjacent readable regions form one run; each run is copied with one
// ReadProcessMemory call and handed to ScanBufferCore.
#include <windows.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "engine_state.h"
#include "process_image_path.h"
#include "scan_verdict.h"
#include "scanners.h"
#include "scanners/logic/region_runs.h"
#include "system_text.h"
#include "text_limits.h"
#include "win32_handles.h"

namespace tarvex {
namespace {

constexpr DWORD kProcessAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x0410

struct VirtualMemoryTraits {  // VirtualAlloc
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { VirtualFree(value, 0, MEM_RELEASE); }
};
using UniqueVirtualMemory = UniqueResource<VirtualMemoryTraits>;

using Address = uintptr_t;

// The opened process and what its entries carry.
struct ScannedProcess {
  HANDLE handle;
  std::string name;    // the image path when it was found
  std::string idText;  // decimal
  int32_t findingsOnly;
};

// "<operation> -> <system text><session note>"
std::string SystemErrorMessage(const char* operation, DWORD errorNumber) {
  std::string message = operation;
  AppendWithin(message, SystemErrorText(errorNumber), kMessageAreaMaxChars);
  AppendWithin(message, Engine().amsi.sessionNote, kMessageAreaMaxChars);
  return message;
}

// An entry of a target that was not scanned; the job error number is already set.
void AppendNotScannedEntry(const std::string& processName, const std::string& processIdText,
                           const std::string& target, std::string message) {
  SetMessageArea(std::move(message));
  AppendResultEntry(processName, processIdText, target, Text(MessageRow::VerdictNotScanned),
                    Engine().messageArea);
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
  UniqueVirtualMemory buffer(
      VirtualAlloc(nullptr, run.length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!buffer) {
    engine.jobErrorNumber = kErrorNotEnoughMemory;
    std::string message = Text(MessageRow::CouldNotAllocate);
    AppendWithin(message, engine.amsi.sessionNote, kMessageAreaMaxChars);
    AppendNotScannedEntry(process.name, process.idText, target, std::move(message));
    return;
  }

  SetLastError(0);
  SIZE_T copiedLength = 0;
  const BOOL copied = ReadProcessMemory(process.handle, reinterpret_cast<const void*>(run.start),
                                        buffer.Get(), run.length, &copiedLength);
  const DWORD readError = GetLastError();
  engine.jobErrorNumber = static_cast<intptr_t>(readError);
  if (!copied) {
    AppendNotScannedEntry(process.name, process.idText, target,
                          SystemErrorMessage("ReadProcessMemory -> ", readError));
    return;
  }
  // The whole run goes to ScanBufferCore with its pointer-sized length; runs
  // longer than AMSI's 32-bit length are split there, never cut.
  ScanBufferCore(target, buffer.Get(), run.length, process.findingsOnly, process.name,
                 process.idText);
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
    engine.jobErrorNumber = static_cast<intptr_t>(openError);
    AppendNotScannedEntry(givenName, idText, std::string(),
                          SystemErrorMessage("OpenProcess -> ", openError));
    return;
  }

  const ScannedProcess process{
      handle.Get(), ImagePathOrGivenName(handle.Get(), givenName, engine.queryFullProcessImageName),
      idText, findingsOnly};
  WalkAddressSpace(process);
}

}  // namespace tarvex
