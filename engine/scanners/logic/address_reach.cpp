// The part of a process's address space the walk cannot reach.
#include "address_reach.h"

namespace tarvex {

std::optional<AddressRange> UnreachableMemory(unsigned engineBits, bool engineUnderWow64,
                                              std::optional<bool> targetUnderWow64) {
  if (engineBits != 32 || !engineUnderWow64) return std::nullopt;
  if (targetUnderWow64.value_or(false)) return std::nullopt;
  return AddressRange{kX86WalkEnd, kUserSpaceEnd64};
}

}  // namespace tarvex
