// Command-line items as the automatic mode reads them.
#include "command_line.h"

namespace ostrelle {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> items;
  size_t position = 0;
  const size_t length = commandLine.size();
  while (position < length) {
    if (commandLine[position] == ' ') {
      ++position;
      continue;
    }
    if (commandLine[position] == '"') {
      const size_t close = commandLine.find('"', position + 1);
      if (close == std::string::npos) {
        items.push_back(commandLine.substr(position + 1));
        break;
      }
      items.push_back(commandLine.substr(position + 1, close - position - 1));
      position = close + 1;
      continue;
    }
    size_t end = position;
    while (end < length && commandLine[end] != ' ') ++end;
    items.push_back(commandLine.substr(position, end - position));
    position = end;
  }
  return items;
}

bool ParseAutomaticMode(const std::string& commandLine, std::string* logPath) {
  const std::vector<std::string> items = SplitCommandLine(commandLine);
  // items[0] is the program itself.
  if (items.size() != 3 || items[1] != "scan") return false;
  if (logPath != nullptr) *logPath = items[2];
  return true;
}

}  // namespace ostrelle
