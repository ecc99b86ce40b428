// Message table: the rows the engine puts into result entries and the text report.
#include "message_table.h"

namespace tarvex {
namespace {

// Row 0 is unused so that the row numbers match the table's own numbering.
// Row 1 mixes languages on purpose: the column title reads so in both builds.
constexpr const char* kRows[kMessageRowCount + 1][2] = {
    {"", ""},
    {"Prozessfilename", "Processdateiname"},
    {"Process-ID", "Prozess-ID"},
    {"Scantarget", "Scanziel"},
    {"Is it Malware?", "Malware gefunden?"},
    {"Scannermessage", "Meldung des Scanners"},
    {"yes", "ja"},
    {"no", "nein"},
    {"not scanned", "nicht gescannt"},
    {"Could not allocate memory!", "Speicher konnte nicht bereitgestellt werden!"},
    {"Address ", "Adresse "},
    {"Scan is not supported on this system!",
     "Scan wird auf diesem System nicht unterst\xFC"
     "tzt!"},
    {"No data!", "Keine Daten!"},
    {"Scanner Errorcode", "Fehlercode"},
    // A job that stopped before its scanner finished (out of memory).
    {"The job stopped here; the rest was not scanned!",
     "Der Auftrag endete hier; der Rest wurde nicht gescannt!"},
    // A report that could not be built with every entry line.
    {"The report could not hold every entry; the result list has them all!",
     "Der Bericht konnte nicht jeden Eintrag aufnehmen; die Ergebnisliste enth\xE4lt alle!"},
    // The part of a 64-bit process's memory that the x86 engine cannot reach.
    {"Out of reach of the 32-bit engine; scan this process with the 64-bit engine!",
     "F\xFCr die 32-Bit-Engine nicht erreichbar; diesen Prozess mit der 64-Bit-Engine scannen!"},
};

}  // namespace

const char* MessageText(MessageRow row, int languageIndex) {
  const int index = static_cast<int>(row);
  if (index < 1 || index > kMessageRowCount) return "";
  return kRows[index][languageIndex == kGerman ? 1 : 0];
}

int LanguageFromLocaleByte(int8_t firstByte) { return firstByte == 7 ? kGerman : kEnglish; }

}  // namespace tarvex
