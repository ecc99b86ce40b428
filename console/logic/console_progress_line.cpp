// Progress line text.
#include "console_progress_line.h"

namespace tarvex::console {

std::string ProgressLine(const std::string& scanObject, intptr_t entryCount, size_t widthChars) {
  std::string line = std::to_string(entryCount < 0 ? 0 : entryCount);
  line += entryCount == 1 ? " entry  " : " entries  ";
  if (line.size() >= widthChars) return line.substr(0, widthChars);
  const size_t room = widthChars - line.size();
  if (scanObject.size() <= room) {
    line += scanObject;
  } else if (room > 3) {
    line += "...";
    line += scanObject.substr(scanObject.size() - (room - 3));
  } else {
    line.append(room, '.');
  }
  line.resize(widthChars, ' ');
  return line;
}

}  // namespace tarvex::console
