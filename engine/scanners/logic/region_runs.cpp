// Run building and end of the address-space walk.
#include "region_runs.h"

namespace tarvex {

bool IsReadableRegion(uint32_t state, uint32_t protect) {
  return (state & kMemCommit) != 0 && (protect & kPageGuard) == 0 &&
         (protect & kReadableProtections) != 0;
}

template <typename Address>
std::optional<RegionRun<Address>> RegionWalk<Address>::Take(uint32_t state, uint32_t protect,
                                                            Address regionSize) {
  std::optional<RegionRun<Address>> closed;
  if (IsReadableRegion(state, protect)) {
    if (open_.length == 0) open_.start = queryAddress_;
    open_.length = static_cast<Address>(open_.length + regionSize);
  } else {
    if (open_.length != 0) closed = open_;
    open_ = RegionRun<Address>{};
  }

  const Address next = static_cast<Address>(queryAddress_ + regionSize);
  using Signed = std::make_signed_t<Address>;
  if (next <= queryAddress_ || static_cast<Signed>(next) < 0) ended_ = true;
  queryAddress_ = next;
  return closed;
}

template class RegionWalk<uint32_t>;
template class RegionWalk<uint64_t>;

std::string HexText(uint64_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  char text[16];
  size_t length = 0;
  do {
    text[length++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  std::string out(length, '0');
  for (size_t i = 0; i < length; ++i) out[i] = text[length - 1 - i];
  return out;
}

std::string RegionProgressText(const std::string& processName, uint64_t baseAddress) {
  return processName + " -> 0x" + HexText(baseAddress);
}

}  // namespace tarvex
