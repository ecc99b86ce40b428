// WOW64 questions and file-system redirection, through functions bound at run time.
#include "wow64.h"

#include "engine_state.h"
#include "native_system_paths.h"
#include "text_conversion.h"

namespace tarvex {
namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE process, PBOOL wow64);
using Wow64DisableFn = BOOL(WINAPI*)(PVOID* oldValue);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID oldValue);

template <typename Fn>
Fn Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return nullptr;
  // GetProcAddress returns a generic function pointer; the signatures are the system's own.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

struct RedirectionFunctions {
  Wow64DisableFn disable = nullptr;
  Wow64RevertFn revert = nullptr;
};

// Both or neither: redirection is never switched off where it cannot be put back.
const RedirectionFunctions& Redirection() {
  static const RedirectionFunctions functions = [] {
    RedirectionFunctions found;
#if !defined(_WIN64)
    found.disable = Kernel32Function<Wow64DisableFn>("Wow64DisableWow64FsRedirection");
    found.revert = Kernel32Function<Wow64RevertFn>("Wow64RevertWow64FsRedirection");
    if (found.disable == nullptr || found.revert == nullptr) found = RedirectionFunctions{};
#endif
    return found;
  }();
  return functions;
}

// Calls that keep the thread's last error: the engine's error numbers are read from it.
bool SwitchOff(PVOID* previous) {
  const DWORD lastError = GetLastError();
  const bool off = Redirection().disable != nullptr && Redirection().disable(previous) != FALSE;
  SetLastError(lastError);
  return off;
}

void PutBack(PVOID previous) {
  const DWORD lastError = GetLastError();
  Redirection().revert(previous);
  SetLastError(lastError);
}

}  // namespace

std::optional<bool> IsUnderWow64(HANDLE process) {
  static const IsWow64ProcessFn isWow64Process =
      Kernel32Function<IsWow64ProcessFn>("IsWow64Process");
  if (isWow64Process == nullptr) return false;
  BOOL wow64 = FALSE;
  if (!isWow64Process(process, &wow64)) return std::nullopt;
  return wow64 != FALSE;
}

JobFsRedirectionOff::JobFsRedirectionOff() {
  FsRedirectionOfJob& job = Engine().fsRedirection;
  job.previous = nullptr;
  job.off = SwitchOff(&job.previous);
}

JobFsRedirectionOff::~JobFsRedirectionOff() {
  FsRedirectionOfJob& job = Engine().fsRedirection;
  if (job.off) PutBack(job.previous);
  job.off = false;
  job.previous = nullptr;
}

FsRedirectionAsBeforeJob::FsRedirectionAsBeforeJob() {
  const FsRedirectionOfJob& job = Engine().fsRedirection;
  if (!job.off) return;
  PutBack(job.previous);
  restored_ = true;
}

FsRedirectionAsBeforeJob::~FsRedirectionAsBeforeJob() {
  if (!restored_) return;
  // Off again for the rest of the job. The value this call hands back is the
  // thread's state before the job again; the job's end puts it back.
  FsRedirectionOfJob& job = Engine().fsRedirection;
  PVOID previous = nullptr;
  job.off = SwitchOff(&previous);
  if (job.off) job.previous = previous;
}

std::u16string PathForJob(const std::u16string& path) {
  if (!Engine().fsRedirection.off) return path;
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return path;
  const auto native = SysnativeAsSystem32(path, U16FromWide(folder));
  return native ? *native : path;
}

}  // namespace tarvex
