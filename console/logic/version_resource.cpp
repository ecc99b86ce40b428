// VS_VERSIONINFO: WORD wLength, WORD wValueLength, WORD wType, the key
// L"VS_VERSION_INFO" with its terminator, padding to a 32-bit boundary, then
// VS_FIXEDFILEINFO (52 bytes, little-endian DWORDs: dwSignature,
// dwStrucVersion, dwFileVersionMS, dwFileVersionLS, ...).
//
// The key and the value's length identify the block; dwSignature is not
// compared. Its value as a constant in this program's code would be taken for
// the program's own version block by the tools that read versions from the
// file by searching for it (the MSI build, the version check).
#include "version_resource.h"

namespace tarvex::console {
namespace {

constexpr size_t kFixedInfoLength = 52;
// Compared character by character with the resource's UTF-16; kept as 8-bit
// text for the same reason as above: those tools also search for the key.
constexpr char kKey[] = "VS_VERSION_INFO";

uint16_t Word(std::string_view bytes, size_t offset) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                               static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

uint32_t Dword(std::string_view bytes, size_t offset) {
  return Word(bytes, offset) | static_cast<uint32_t>(Word(bytes, offset + 2)) << 16;
}

}  // namespace

std::optional<std::array<uint16_t, 4>> FixedFileVersion(std::string_view resource) {
  constexpr size_t keyChars = sizeof kKey / sizeof kKey[0];  // with the terminator
  const size_t valueOffset = (6 + 2 * keyChars + 3) / 4 * 4;
  if (resource.size() < valueOffset + kFixedInfoLength) return std::nullopt;
  const size_t blockLength = Word(resource, 0);
  if (blockLength < valueOffset + kFixedInfoLength || blockLength > resource.size()) {
    return std::nullopt;
  }
  if (Word(resource, 2) < kFixedInfoLength) return std::nullopt;
  for (size_t i = 0; i < keyChars; ++i) {
    if (Word(resource, 6 + 2 * i) != static_cast<unsigned char>(kKey[i])) return std::nullopt;
  }
  const uint32_t high = Dword(resource, valueOffset + 8);
  const uint32_t low = Dword(resource, valueOffset + 12);
  return std::array<uint16_t, 4>{static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high),
                                 static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low)};
}

}  // namespace tarvex::console
