// Pipes and standard handles for a child this process starts with inherited handles.
#pragma once

#include <windows.h>

#include <utility>

#include "win32_handles.h"

namespace tarvex_test {

// The child's end is inheritable; this process's end is not, so the child
// sees the pipe end when this process closes its end.
struct ChildPipe {
  tarvex::UniqueHandle ours;
  tarvex::UniqueHandle childs;
};

// childWrites: the child writes into the pipe (its standard output or error);
// otherwise it reads from it (its standard input). False when no pipe can be made.
inline bool MakeChildPipe(bool childWrites, ChildPipe* pipe) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  tarvex::UniqueHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inheritable, 0)) {
    readEnd.Release();
    writeEnd.Release();
    return false;
  }
  pipe->ours = std::move(childWrites ? readEnd : writeEnd);
  pipe->childs = std::move(childWrites ? writeEnd : readEnd);
  SetHandleInformation(pipe->ours.Get(), HANDLE_FLAG_INHERIT, 0);
  return true;
}

// Start-up information that hands the child these three standard handles.
// STARTUPINFOA by default; StartupWithHandles<STARTUPINFOW> for CreateProcessW.
template <typename StartupInfo = STARTUPINFOA>
StartupInfo StartupWithHandles(HANDLE input, HANDLE output, HANDLE error) {
  StartupInfo startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  return startup;
}

}  // namespace tarvex_test
