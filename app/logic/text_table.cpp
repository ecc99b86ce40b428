// The filled entries 1 to 35 in English and German; German texts in code page 1252.
#include "text_table.h"

namespace ostrelle {
namespace {

struct Row {
  const char* english;
  const char* german;
};

// Index 0 is unused; entries 1 to 35 in the order of their numbers.
const Row kRows[] = {
    {"", ""},
    {"&Program", "&Programm"},
    {"scan p&rocessses", "scanne P&rozesse"},
    {"search and scan all &alternate data streams",
     "suche und scanne alle &Alternate Data Streams"},
    {"delete scan resu&lts",
     "&l\xF6"
     "sche Scanergebnisse"},
    {"Please select a scan type rom the menubar!",
     "Bitte einen Scan aus dem Men\xFC"
     " ausw\xE4"
     "hlen!"},
    {"&close", "&beenden"},
    {"Scan is in progress....",
     "Scan wird durchgef\xFC"
     "hrt..."},
    {"Ready!", "Fertig"},
    {"OS-Versionnumber", "OS-Versionsnummer"},
    {"OS-Productname", "OS-Produktname"},
    {"create &log file", "&LOG-Datei erzeugen"},
    {"32bit", "32Bit"},
    {"64bit", "64Bit"},
    {"Type of scan", "Scanart"},
    {"memory of all processes", "Speicher aller Prozesse"},
    {"Scan has been finished at", "Scanende"},
    {"all alternate data streams", "Alle Alternate Data Streams"},
    {"Where should the logfile be saved?", "Wo soll die LOG-Datei gespeichert werden?"},
    {"c&ancle scan", "Scan &abbrechen"},
    {"Scan was cancled!", "Scan wurde abgebrochen!"},
    {"search and scan all alternate data streams in a f&older",
     "suche und scanne alle Alternate Data Streams eines &Ordners"},
    {"Choose a folder to scan the alternate data streams in it:",
     "Einen Ordner w\xE4"
     "hlen, der nach Alternate Data Streams durchsucht werden soll:"},
    {"all alternate data streams in folder ", "Alle Alternate Data Streams in Ordner "},
    {"search and scan all alternate &data streams in a file",
     "suche und scanne alle Alternate Data Streams einer &Datei"},
    {"Choose a file to scan the alternate data streams in it:",
     "Eine Datei w\xE4"
     "hlen, der nach Alternate Data Streams durchsucht werden soll:"},
    {"all alternate data streams in file ", "Alle Alternate Data Streams in Datei "},
    {"Version of scanner", "Version des Scanners"},
    {"scan processes with &name", "Scanne Prozesse mit Prozess&namen"},
    {"processes with name ", "Prozesse mit Prozessnamen "},
    {"Processname", "Prozessname"},
    {"Pleace but a processname into the box:", "Hier einen Prozessnamen eingeben:"},
    {"Scan is being cancelled...", "Scan wird abgebrochen..."},
    {"The log file could not be saved: ", "Die LOG-Datei konnte nicht gespeichert werden: "},
    {"Log file saved, not opened (only .txt, .log and .csv files are opened): ",
     "LOG-Datei gespeichert, nicht ge\xF6"
     "ffnet (nur .txt-, .log- und .csv-Dateien werden ge\xF6"
     "ffnet): "},
    {"The chosen item is not a folder that can be scanned.",
     "Das gew\xE4"
     "hlte Element ist kein Ordner, der gescannt werden kann."},
};

constexpr int kFilledEntryCount = static_cast<int>(sizeof kRows / sizeof kRows[0]);
static_assert(kFilledEntryCount == kTextLastFilledEntry + 1, "entries 0 to the last filled one");

}  // namespace

const char* TableText(int entry, int language) {
  if (entry <= 0 || entry >= kFilledEntryCount) return "";
  if (language == kEnglish) return kRows[entry].english;
  if (language == kGerman) return kRows[entry].german;
  return "";
}

int LanguageFromLanguageId(uint32_t languageId) {
  const auto primary = static_cast<int8_t>(static_cast<uint8_t>(languageId & 0xFF));
  return primary == 7 ? kGerman : kEnglish;
}

}  // namespace ostrelle
