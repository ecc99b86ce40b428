// The Sysnative alias of WOW64: 32-bit programs reach the native system
// folder as <Windows folder>\Sysnative while file-system redirection turns
// System32 into SysWOW64 for them. With redirection off the alias names
// nothing, and System32 is the native folder.
#pragma once

#include <optional>
#include <string>

namespace tarvex {

// The path with its Sysnative alias replaced by System32, when it begins with
// the Windows folder (compared without regard to ASCII letter case; either
// slash separates), then the component "Sysnative", then the end or a
// separator. Nothing for any other path.
std::optional<std::u16string> SysnativeAsSystem32(const std::u16string& path,
                                                  const std::u16string& windowsFolder);

}  // namespace tarvex
