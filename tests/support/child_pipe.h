// A pipe between this process and a child it starts with inherited handles.
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

}  // namespace tarvex_test
