// Choice of the bitness words.
#include "bitness.h"

#include "text_table.h"

namespace ostrelle {

BitnessEntries BitnessWordEntries(bool build64, bool runsUnderWow64) {
  const int own = build64 ? kText64Bit : kText32Bit;
  BitnessEntries entries{own, own};
  if (runsUnderWow64) entries.osEntry = kText64Bit;
  return entries;
}

}  // namespace ostrelle
