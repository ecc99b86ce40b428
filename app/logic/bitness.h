// The two bitness words of the log header.
#pragma once

namespace ostrelle {

struct BitnessEntries {
  int osEntry;       // text table entry of the operating system's bitness word
  int scannerEntry;  // text table entry of the scanner's bitness word
};

// Both words start at the build's own bitness; a 32-bit build that the
// system reports as running under WOW64 logs the system as 64-bit.
BitnessEntries BitnessWordEntries(bool build64, bool runsUnderWow64);

}  // namespace ostrelle
