// Message table and the language choice from the user locale.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "message_table.h"

using tarvex::MessageRow;
using tarvex::MessageText;

TEST(MessageTable, LanguageFromTheLowByteOfTheLanguageId) {
  struct Case {
    unsigned languageId;
    int expected;
  } cases[] = {
      {0x0407, tarvex::kGerman},   // German (Germany)
      {0x0807, tarvex::kGerman},   // German (Switzerland)
      {0x0C07, tarvex::kGerman},   // German (Austria)
      {0x1007, tarvex::kGerman},   // German (Luxembourg)
      {0x1407, tarvex::kGerman},   // German (Liechtenstein)
      {0x0409, tarvex::kEnglish},  // English (United States)
      {0x040C, tarvex::kEnglish},  // French (France)
      {0x0000, tarvex::kEnglish},  // failed query: zero buffer
      {0x0487, tarvex::kEnglish},  // low byte 0x87 is negative as a signed byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, tarvex::LanguageFromLocaleByte(static_cast<int8_t>(c.languageId & 0xFF)))
        << std::hex << c.languageId;
  }
}

TEST(MessageTable, RowsInBothLanguages) {
  struct Case {
    MessageRow row;
    const char* english;
    const char* german;
  } cases[] = {
      {MessageRow::ProcessNameTitle, "Prozessfilename", "Processdateiname"},
      {MessageRow::ProcessIdTitle, "Process-ID", "Prozess-ID"},
      {MessageRow::ScantargetTitle, "Scantarget", "Scanziel"},
      {MessageRow::IsMalwareTitle, "Is it Malware?", "Malware gefunden?"},
      {MessageRow::ScannermessageTitle, "Scannermessage", "Meldung des Scanners"},
      {MessageRow::VerdictYes, "yes", "ja"},
      {MessageRow::VerdictNo, "no", "nein"},
      {MessageRow::VerdictNotScanned, "not scanned", "nicht gescannt"},
      {MessageRow::CouldNotAllocate, "Could not allocate memory!",
       "Speicher konnte nicht bereitgestellt werden!"},
      {MessageRow::AddressLabel, "Address ", "Adresse "},
      {MessageRow::NotSupported, "Scan is not supported on this system!",
       "Scan wird auf diesem System nicht unterst\xFCtzt!"},
      {MessageRow::NoData, "No data!", "Keine Daten!"},
      {MessageRow::ErrornumberTitle, "Scanner Errorcode", "Fehlercode"},
      {MessageRow::JobStopped, "The job stopped here; the rest was not scanned!",
       "Der Auftrag endete hier; der Rest wurde nicht gescannt!"},
      {MessageRow::ReportCut,
       "The report could not hold every entry; the result list has them all!",
       "Der Bericht konnte nicht jeden Eintrag aufnehmen; die Ergebnisliste enth\xE4lt alle!"},
      {MessageRow::OutOfReach32Bit,
       "Out of reach of the 32-bit engine; scan this process with the 64-bit engine!",
       "F\xFCr die 32-Bit-Engine nicht erreichbar; diesen Prozess mit der 64-Bit-Engine "
       "scannen!"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(c.english, MessageText(c.row, tarvex::kEnglish));
    EXPECT_STREQ(c.german, MessageText(c.row, tarvex::kGerman));
  }
}

TEST(MessageTable, RowsOutsideTheTableReadEmpty) {
  EXPECT_STREQ("", MessageText(static_cast<MessageRow>(0), tarvex::kEnglish));
  EXPECT_STREQ("",
               MessageText(static_cast<MessageRow>(tarvex::kMessageRowCount + 1), tarvex::kGerman));
}

TEST(MessageTable, GermanTextsAreCodePage1252) {
  const char* text = MessageText(MessageRow::NotSupported, tarvex::kGerman);
  const char* u = std::strchr(text, '\xFC');
  ASSERT_NE(nullptr, u);
  EXPECT_EQ(std::strlen("Scan wird auf diesem System nicht unterst"),
            static_cast<size_t>(u - text));
  EXPECT_EQ(std::strlen("Scan wird auf diesem System nicht unterst\xFCtzt!"), std::strlen(text));
}

// UTF-8 from UTF-16 for the characters of the table (no surrogates there).
std::string Utf8FromUtf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

std::string FailingConversion(std::u16string_view) { return std::string(); }

// Restores the code page 1252 texts that the other tests expect.
class MessageCodePage : public ::testing::Test {
 protected:
  void TearDown() override { tarvex::UseMessageCodePage(&tarvex::CodePage1252FromUtf16); }
};

TEST(MessageTable, TheUnicodeRowsGiveTheCodePage1252TextsByteForByte) {
  for (int row = 1; row <= tarvex::kMessageRowCount; ++row) {
    for (int language : {tarvex::kEnglish, tarvex::kGerman}) {
      const std::u16string_view source =
          tarvex::MessageSource(static_cast<MessageRow>(row), language);
      EXPECT_FALSE(source.empty()) << row;
      EXPECT_EQ(tarvex::CodePage1252FromUtf16(source),
                MessageText(static_cast<MessageRow>(row), language))
          << row;
    }
  }
  EXPECT_EQ(tarvex::MessageSource(MessageRow::NotSupported, tarvex::kGerman),
            u"Scan wird auf diesem System nicht unterst\u00FCtzt!");
  EXPECT_EQ(tarvex::CodePage1252FromUtf16(u"\u00FC\u00DF\u0416\u20AC"), "\xFC\xDF??");
}

TEST_F(MessageCodePage, ATableInUtf8ForAProcessWhoseCodePageIsUtf8) {
  tarvex::UseMessageCodePage(&Utf8FromUtf16);
  EXPECT_STREQ("Scan wird auf diesem System nicht unterst\xC3\xBCtzt!",
               MessageText(MessageRow::NotSupported, tarvex::kGerman));
  EXPECT_STREQ("Processdateiname", MessageText(MessageRow::ProcessNameTitle, tarvex::kGerman));
  EXPECT_STREQ("Address ", MessageText(MessageRow::AddressLabel, tarvex::kEnglish));
  EXPECT_STREQ("", MessageText(static_cast<MessageRow>(0), tarvex::kEnglish));
  EXPECT_STREQ("",
               MessageText(static_cast<MessageRow>(tarvex::kMessageRowCount + 1), tarvex::kGerman));
  EXPECT_STREQ(
      "F\xC3\xBCr die 32-Bit-Engine nicht erreichbar; diesen Prozess mit der "
      "64-Bit-Engine scannen!",
      MessageText(MessageRow::OutOfReach32Bit, tarvex::kGerman));
}

TEST_F(MessageCodePage, ARowTheConversionFailsOnKeepsItsCodePage1252Text) {
  tarvex::UseMessageCodePage(&FailingConversion);
  EXPECT_STREQ("Scan wird auf diesem System nicht unterst\xFCtzt!",
               MessageText(MessageRow::NotSupported, tarvex::kGerman));
  EXPECT_STREQ("Fehlercode", MessageText(MessageRow::ErrornumberTitle, tarvex::kGerman));
}
