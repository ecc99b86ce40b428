// Walk of a process's address space, region by region: which regions are
// readable, how adjacent readable regions join into runs, where the walk ends,
// and the texts the walk writes. The caller queries the regions; this file
// only sees what the query reported, so it serves the 32- and 64-bit builds alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

namespace tarvex {

// Values of MEMORY_BASIC_INFORMATION's State and Protect fields that decide readability.
constexpr uint32_t kMemCommit = 0x1000;
constexpr uint32_t kPageGuard = 0x100;
// PAGE_READONLY, PAGE_READWRITE, PAGE_WRITECOPY, PAGE_EXECUTE_READ,
// PAGE_EXECUTE_READWRITE, PAGE_EXECUTE_WRITECOPY.
constexpr uint32_t kReadableProtections = 0x02 | 0x04 | 0x08 | 0x20 | 0x40 | 0x80;

// Committed, no guard page, at least one read right. Bit tests only, so
// modifiers such as PAGE_NOCACHE do not matter.
bool IsReadableRegion(uint32_t state, uint32_t protect);

// Adjacent readable regions: start address and length in bytes.
template <typename Address>
struct RegionRun {
  Address start = 0;
  Address length = 0;
  Address End() const { return static_cast<Address>(start + length); }  // first address after
};

// The walk from address 0 upwards. Address is the pointer-sized unsigned type
// of the build (uint32_t in x86, uint64_t in x64).
template <typename Address>
class RegionWalk {
  static_assert(std::is_unsigned_v<Address>, "addresses are unsigned");

 public:
  // Address of the next region to query; always the base of that region,
  // since the walk starts at 0 and advances by whole region sizes.
  Address QueryAddress() const { return queryAddress_; }

  // Takes the region reported at QueryAddress() and advances past it.
  // A readable region extends the open run (or opens one); any other region
  // closes it, and the closed run is returned when it holds any bytes.
  std::optional<RegionRun<Address>> Take(uint32_t state, uint32_t protect, Address regionSize);

  // True once the next query address is negative as a signed pointer-sized
  // number (2 GiB and up in the x86 build), or the addition did not move the
  // address forward (a wrap past the top, or an empty region). A run still
  // open then is dropped.
  bool Ended() const { return ended_; }

  // The run being gathered (length 0 when none is open).
  const RegionRun<Address>& OpenRun() const { return open_; }

 private:
  Address queryAddress_ = 0;
  RegionRun<Address> open_;
  bool ended_ = false;
};

extern template class RegionWalk<uint32_t>;
extern template class RegionWalk<uint64_t>;

// Upper-case hexadecimal digits without leading zeros ("0" for zero), no "0x".
std::string HexText(uint64_t value);

// Scan target of a run: label ("Address " / "Adresse "), then "0x<start> - 0x<end>",
// the end being the first address after the run.
template <typename Address>
std::string RunTargetText(const std::string& addressLabel, const RegionRun<Address>& run) {
  return addressLabel + "0x" + HexText(run.start) + " - 0x" + HexText(run.End());
}

// Progress text of a region: "<process name> -> 0x<base address>".
std::string RegionProgressText(const std::string& processName, uint64_t baseAddress);

}  // namespace tarvex
