// Where the running test program lies: the programs, DLLs and fixtures it
// uses are staged beside it.
#pragma once

#include <windows.h>

#include <string>

namespace tarvex_test {

// Full path of this process's executable.
inline std::string ProgramPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// The folder of this process's executable, without a trailing backslash.
inline std::string ProgramDirectory() {
  const std::string path = ProgramPath();
  return path.substr(0, path.find_last_of('\\'));
}

// The bare file name of this process's executable.
inline std::string ProgramFileName() {
  const std::string path = ProgramPath();
  return path.substr(path.find_last_of("\\/") + 1);
}

}  // namespace tarvex_test
