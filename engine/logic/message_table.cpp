// Message table: the rows the engine puts into result entries and the text report.
#include "message_table.h"

namespace tarvex {
namespace {

// Row 0 is unused so that the row numbers match the table's own numbering.
// Row 1 mixes languages on purpose: the column title reads so in both builds.
constexpr const char* kRows[14][2] = {
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
};

}  // namespace

const char* MessageText(MessageRow row, int languageIndex) {
  const int index = static_cast<int>(row);
  if (index < 1 || index > 13) return "";
  return kRows[index][languageIndex == kGerman ? 1 : 0];
}

int LanguageFromLocaleByte(int8_t firstByte) { return firstByte == 7 ? kGerman : kEnglish; }

}  // namespace tarvex
