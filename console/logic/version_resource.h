// The file version in a module's VERSIONINFO resource, read from the
// resource's bytes (the VS_VERSIONINFO block and its VS_FIXEDFILEINFO), so
// that no further system library has to be loaded for it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvex::console {

// The four parts of the file version (major, minor, patch, build); nullopt
// when the bytes are no VS_VERSIONINFO block with a fixed file info.
std::optional<std::array<uint16_t, 4>> FixedFileVersion(std::string_view resource);

}  // namespace tarvex::console
