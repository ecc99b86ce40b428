// Environment variables set for the life of an object; programs started
// meanwhile inherit them.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace tarvex_test {

// Sets each variable (an empty value removes it) and restores the earlier
// values at the end.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::map<std::string, std::string>& values) {
    for (const auto& [name, value] : values) {
      char old[4096] = {};
      const DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
      saved_.push_back({name, old, length > 0});
      SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
  }
  ~ScopedEnvironment() {
    for (const Saved& saved : saved_) {
      SetEnvironmentVariableA(saved.name.c_str(), saved.present ? saved.value.c_str() : nullptr);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  struct Saved {
    std::string name, value;
    bool present;
  };
  std::vector<Saved> saved_;
};

}  // namespace tarvex_test
