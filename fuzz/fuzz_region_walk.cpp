// Fuzz target: the address-space walk over any sequence of regions a process
// may report, for both address widths. Runs come out in order, never overlap,
// hold only readable regions and end below the walk's end.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "region_runs.h"

namespace {

template <typename Address>
void Walk(const uint8_t* data, size_t size) {
  tarvex::RegionWalk<Address> walk;
  Address lastEnd = 0;
  constexpr size_t kRecord = 4 + 4 + sizeof(Address);
  for (size_t at = 0; at + kRecord <= size && !walk.Ended(); at += kRecord) {
    uint32_t state, protect;
    Address length;
    std::memcpy(&state, data + at, 4);
    std::memcpy(&protect, data + at + 4, 4);
    std::memcpy(&length, data + at + 8, sizeof(Address));
    const Address before = walk.QueryAddress();
    const auto run = walk.Take(state, protect, length);
    if (run) {
      FUZZ_CHECK(run->length > 0);
      FUZZ_CHECK(run->start >= lastEnd);
      FUZZ_CHECK(run->End() <= before);
      lastEnd = run->End();
    }
    if (!walk.Ended()) FUZZ_CHECK(walk.QueryAddress() > before);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Walk<uint32_t>(data, size);
  Walk<uint64_t>(data, size);
  if (size >= 8) {
    uint64_t value;
    std::memcpy(&value, data, 8);
    const std::string hex = tarvex::HexText(value);
    FUZZ_CHECK(!hex.empty() && hex.size() <= 16);
    FUZZ_CHECK(hex.size() == 1 || hex[0] != '0');
  }
  return 0;
}
