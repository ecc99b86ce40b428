// Fuzz target: command lines of the window application and the console
// program (untrusted: scheduled tasks, scripts and fleet tools write them).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"
#include "console_command_line.h"
#include "folder_path.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const auto items = ostrelle::SplitCommandLine(text);
  for (const auto& item : items) {
    // An item may be empty: "" is an empty argument.
    FUZZ_CHECK(item.size() <= text.size());
  }
  std::string logPath;
  if (ostrelle::ParseAutomaticMode(text, &logPath)) FUZZ_CHECK(logPath.size() <= text.size());
  const std::string folder = ostrelle::NormaliseFolderPath(text);
  FUZZ_CHECK(folder.size() <= text.size() + 1);

  // The console program's arguments: the input split at NUL bytes.
  std::vector<std::string> arguments;
  std::string current;
  for (char c : text) {
    if (c == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  arguments.push_back(current);
  const auto parsed = tarvex::console::ParseCommandLine(arguments, "OstrelleCmd64.exe", "1.0.0");
  FUZZ_CHECK(parsed.run || !parsed.error.empty() || !parsed.output.empty());
  uint32_t pid = 0;
  if (tarvex::console::ParseProcessId(text, &pid)) {
    FUZZ_CHECK(!text.empty() && text.size() <= 10);
    FUZZ_CHECK(std::to_string(pid) == text.substr(text.find_first_not_of('0') == std::string::npos
                                                      ? text.size() - 1
                                                      : text.find_first_not_of('0')));
  }
  return 0;
}
