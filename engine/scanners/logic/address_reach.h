// The part of a process's address space that the engine's memory walk cannot
// reach. The x86 engine walks addresses below 2 GiB; under WOW64 it may be
// asked to scan a 64-bit process, whose memory lies mostly far above that (its
// images and, with high-entropy address layout, its heaps lie above 4 GiB).
#pragma once

#include <cstdint>
#include <optional>

namespace tarvex {

// The x86 walk ends where addresses turn negative as signed 32-bit numbers.
constexpr uint64_t kX86WalkEnd = 0x80000000u;
// End (exclusive) of a 64-bit process's user address space: 128 TiB on
// Windows 8.1 and later; earlier 64-bit Windows has 8 TiB and no AMSI.
constexpr uint64_t kUserSpaceEnd64 = 0x800000000000u;

// An address range [start, end).
struct AddressRange {
  uint64_t start = 0;
  uint64_t end = 0;
};

// What the walk cannot reach in the target: nothing for the x64 engine
// (engineBits 64) and for a 32-bit engine that does not run under WOW64 (a
// 32-bit system has only 32-bit processes); for the x86 engine under WOW64,
// [2 GiB, 128 TiB) of a target that does not run under WOW64 (a 64-bit
// process), and of a target whose bitness could not be told, since a 64-bit
// process must never read as wholly scanned. A 32-bit target gets nothing.
std::optional<AddressRange> UnreachableMemory(unsigned engineBits, bool engineUnderWow64,
                                              std::optional<bool> targetUnderWow64);

}  // namespace tarvex
