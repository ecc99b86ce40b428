// Message table: the rows the engine puts into result entries and the text report.
#include "message_table.h"

#include <array>

namespace tarvex {
namespace {

// Row 0 is unused so that the row numbers match the table's own numbering.
// Row 1 mixes languages on purpose: the column title reads so in both builds.
constexpr std::u16string_view kRows[kMessageRowCount + 1][2] = {
    {u"", u""},
    {u"Prozessfilename", u"Processdateiname"},
    {u"Process-ID", u"Prozess-ID"},
    {u"Scantarget", u"Scanziel"},
    {u"Is it Malware?", u"Malware gefunden?"},
    {u"Scannermessage", u"Meldung des Scanners"},
    {u"yes", u"ja"},
    {u"no", u"nein"},
    {u"not scanned", u"nicht gescannt"},
    {u"Could not allocate memory!", u"Speicher konnte nicht bereitgestellt werden!"},
    {u"Address ", u"Adresse "},
    {u"Scan is not supported on this system!",
     u"Scan wird auf diesem System nicht unterst\u00FCtzt!"},
    {u"No data!", u"Keine Daten!"},
    {u"Scanner Errorcode", u"Fehlercode"},
    // A job that stopped before its scanner finished (out of memory).
    {u"The job stopped here; the rest was not scanned!",
     u"Der Auftrag endete hier; der Rest wurde nicht gescannt!"},
    // A report that could not be built with every entry line.
    {u"The report could not hold every entry; the result list has them all!",
     u"Der Bericht konnte nicht jeden Eintrag aufnehmen; die Ergebnisliste enth\u00E4lt alle!"},
    // The part of a 64-bit process's memory that the x86 engine cannot reach.
    {u"Out of reach of the 32-bit engine; scan this process with the 64-bit engine!",
     u"F\u00FCr die 32-Bit-Engine nicht erreichbar; diesen Prozess mit der 64-Bit-Engine scannen!"},
};

using TextTable = std::array<std::array<std::string, 2>, kMessageRowCount + 1>;

TextTable MakeTable(MessageConverter toCodePage) {
  TextTable table;
  for (int row = 1; row <= kMessageRowCount; ++row) {
    for (int language = 0; language < 2; ++language) {
      const std::u16string_view source = kRows[row][language];
      std::string text = toCodePage(source);
      if (text.empty() && !source.empty()) text = CodePage1252FromUtf16(source);
      table[row][language] = std::move(text);
    }
  }
  return table;
}

// Process-wide: written at library load (UseMessageCodePage), read by every job.
TextTable& Table() {
  static TextTable table = MakeTable(&CodePage1252FromUtf16);
  return table;
}

bool ValidRow(MessageRow row) {
  const int index = static_cast<int>(row);
  return index >= 1 && index <= kMessageRowCount;
}

}  // namespace

std::u16string_view MessageSource(MessageRow row, int languageIndex) {
  if (!ValidRow(row)) return u"";
  return kRows[static_cast<int>(row)][languageIndex == kGerman ? 1 : 0];
}

const char* MessageText(MessageRow row, int languageIndex) {
  if (!ValidRow(row)) return "";
  return Table()[static_cast<int>(row)][languageIndex == kGerman ? 1 : 0].c_str();
}

void UseMessageCodePage(MessageConverter toCodePage) { Table() = MakeTable(toCodePage); }

std::string CodePage1252FromUtf16(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (char16_t c : text) {
    // 1252 matches Latin-1 outside 0x80-0x9F, which holds no letter of the table.
    const bool sameInLatin1 = c < 0x80 || (c >= 0xA0 && c <= 0xFF);
    bytes += sameInLatin1 ? static_cast<char>(c) : '?';
  }
  return bytes;
}

int LanguageFromLocaleByte(int8_t firstByte) { return firstByte == 7 ? kGerman : kEnglish; }

}  // namespace tarvex
