// The x86 engine under WOW64 (32-bit code on 64-bit Windows): file-system
// redirection switched off for each job, and the bitness of a process. The
// functions are bound at run time, so the library still loads on Windows
// versions that lack them (they have no WOW64 either).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarvex {

// Whether the process runs under WOW64: false where IsWow64Process is
// missing; nothing when the question fails.
std::optional<bool> IsUnderWow64(HANDLE process);

// Switches WOW64 file-system redirection off on the calling thread for the
// life of the object, so that C:\Windows\System32 and the other redirected
// names mean the native folders, as they do for the caller's paths on the
// system. Restores exactly what the thread had before (a synchronous job runs
// on the caller's thread, which may have switched it off itself). Does
// nothing in the x64 build, and where the system cannot switch it.
// One job at a time: the state lives in the engine's state.
class JobFsRedirectionOff {
 public:
  JobFsRedirectionOff();
  ~JobFsRedirectionOff();
  JobFsRedirectionOff(const JobFsRedirectionOff&) = delete;
  JobFsRedirectionOff& operator=(const JobFsRedirectionOff&) = delete;
};

// For the time of one AMSI call on the job's thread: redirection as the
// thread had it before the job. AMSI loads its providers, and they load their
// own libraries, by paths that count on redirection (32-bit COM servers are
// commonly registered under System32). Does nothing when the job did not
// switch redirection off.
class FsRedirectionAsBeforeJob {
 public:
  FsRedirectionAsBeforeJob();
  ~FsRedirectionAsBeforeJob();
  FsRedirectionAsBeforeJob(const FsRedirectionAsBeforeJob&) = delete;
  FsRedirectionAsBeforeJob& operator=(const FsRedirectionAsBeforeJob&) = delete;

 private:
  bool restored_ = false;
};

// The path by which the job opens a caller's path: while the job has
// redirection off, a path through the Sysnative alias of the Windows folder
// (which 32-bit programs use to reach the native system folder, and which
// exists only while redirection is on) goes through System32 instead. Any
// other path is returned as it is.
std::u16string PathForJob(const std::u16string& path);

}  // namespace tarvex
