// Text, path and version helpers of the console program.
#include <gtest/gtest.h>

#include <string>

#include "console_paths.h"
#include "console_text.h"
#include "version_resource.h"

namespace tarvex::console {
namespace {

TEST(ConsoleText, Utf8CharactersAreCountedNotBytes) {
  const std::pair<std::string, size_t> cases[] = {
      {"", 0},
      {"abc", 3},
      {"caf\xC3\xA9", 4},               // é: 2 bytes
      {"\xD0\x96", 1},                  // Ж: 2 bytes
      {"\xE5\xA0\xB1\xE5\x91\x8A", 2},  // 報告: 3 bytes each
      {"\xF0\x9F\x93\x84", 1},          // 📄: 4 bytes
      {"a\xFF"
       "b",
       3},  // an invalid byte counts one
  };
  for (const auto& [text, count] : cases) EXPECT_EQ(Utf8CharCount(text), count) << text;
}

TEST(ConsoleText, ACutOffSequenceAtTheEndIsLeftForLater) {
  const std::string emoji = "\xF0\x9F\x93\x84";
  const std::pair<std::string, size_t> cases[] = {
      {"", 0},
      {"abc", 3},
      {"ab" + emoji, 6},
      {"ab" + emoji.substr(0, 1), 2},
      {"ab" + emoji.substr(0, 2), 2},
      {"ab" + emoji.substr(0, 3), 2},
      {"x\xC3", 1},
      {"x\xC3\xA9", 3},
      {"x\xE5\xA0", 1},
      {"\x80\x80\x80\x80\x80", 5},  // no lead byte: passed on
  };
  for (const auto& [text, length] : cases) EXPECT_EQ(CompleteUtf8Length(text), length) << text;
}

TEST(ConsoleText, TrimBlanks) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"   ", ""},    {"Success. ", "Success."},
      {" a b ", "a b"}, {"x\r\n", "x"}, {"\ta", "a"},
  };
  for (const auto& [text, trimmed] : cases) EXPECT_EQ(TrimBlanks(text), trimmed) << text;
}

TEST(ConsoleText, ParseDecimalIsStrict) {
  const std::pair<std::string, std::optional<int64_t>> cases[] = {
      {"0", 0},
      {"4711", 4711},
      {"-2147024891", -2147024891},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"+1", std::nullopt},
      {"1 ", std::nullopt},
      {"0x10", std::nullopt},
      {"12a", std::nullopt},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseDecimal(text), value) << text;
}

TEST(ConsoleText, AQuestionMarkInANameShowsALostCharacter) {
  const std::pair<std::string, bool> cases[] = {
      {"C:\\caf? ?.txt", true},   {"C:\\caf\xC3\xA9.txt", false}, {"\\\\?\\C:\\a.txt", false},
      {"\\\\?\\C:\\?.txt", true}, {"\\\\.\\C:\\a.txt", false},    {"", false},
      {"notepad?.exe", true},
  };
  for (const auto& [name, lost] : cases) EXPECT_EQ(ShowsLostCharacter(name), lost) << name;
}

TEST(ConsolePaths, ExtendedLengthForm) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"C:\\a\\b.txt", u"\\\\?\\C:\\a\\b.txt"},
      {u"z:\\", u"\\\\?\\z:\\"},
      {u"\\\\server\\share\\x", u"\\\\?\\UNC\\server\\share\\x"},
      {u"\\\\?\\C:\\already", u"\\\\?\\C:\\already"},
      {u"\\\\.\\PhysicalDrive0", u"\\\\.\\PhysicalDrive0"},
      {u"relative\\x", u"relative\\x"},
      {u"C:", u"C:"},
  };
  for (const auto& [path, extended] : cases) EXPECT_EQ(ExtendedLengthPath(path), extended);
  EXPECT_TRUE(HasDevicePrefix(u"\\\\?\\C:\\"));
  EXPECT_TRUE(HasDevicePrefix(u"\\\\.\\pipe\\x"));
  EXPECT_FALSE(HasDevicePrefix(u"\\\\server\\share"));
}

// A VS_VERSIONINFO block as the resource compiler writes it.
std::string VersionBlock(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  std::string block;
  const auto word = [&](uint16_t value) {
    block += static_cast<char>(value & 0xFF);
    block += static_cast<char>(value >> 8);
  };
  const auto dword = [&](uint32_t value) {
    word(static_cast<uint16_t>(value));
    word(static_cast<uint16_t>(value >> 16));
  };
  word(0);   // wLength, set below
  word(52);  // wValueLength
  word(0);   // wType: binary
  for (char16_t c16 : std::u16string(u"VS_VERSION_INFO")) word(c16);
  word(0);
  while (block.size() % 4 != 0) block += '\0';
  dword(0xFEEF04BD);
  dword(0x00010000);
  dword(static_cast<uint32_t>(a) << 16 | b);
  dword(static_cast<uint32_t>(c) << 16 | d);
  for (int i = 0; i < 9; ++i) dword(0);
  block += std::string(60, '\0');  // the StringFileInfo children, not read
  block[0] = static_cast<char>(block.size() & 0xFF);
  block[1] = static_cast<char>(block.size() >> 8);
  return block;
}

TEST(ConsoleVersionResource, TheFixedFileVersion) {
  const auto version = FixedFileVersion(VersionBlock(1, 2, 3, 4));
  ASSERT_TRUE(version);
  EXPECT_EQ(*version, (std::array<uint16_t, 4>{1, 2, 3, 4}));

  std::string noValue = VersionBlock(1, 0, 0, 0);
  noValue[2] = 0;  // wValueLength 0: no fixed file info
  std::string otherKey = VersionBlock(1, 0, 0, 0);
  otherKey[6] = 'X';
  std::string tooLong = VersionBlock(1, 0, 0, 0);
  tooLong[1] = 0x7F;  // wLength beyond the data
  for (const std::string& bad :
       {noValue, otherKey, tooLong, VersionBlock(1, 0, 0, 0).substr(0, 80), std::string()}) {
    EXPECT_FALSE(FixedFileVersion(bad));
  }
}

}  // namespace
}  // namespace tarvex::console
