// Splitting the program's command line and recognising the automatic mode.
#pragma once

#include <string>
#include <vector>

namespace ostrelle {

// Splits a command line into items at blanks. Runs of blanks are one
// separator. An item that begins with a double quote runs to the next double
// quote (or to the end of the line) and the quotes are not part of it; the
// item ends there, so text right after a closing quote starts the next item.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// True and the log path when the command line, whose first item is the
// program itself, holds exactly two parameters and the first is "scan".
bool ParseAutomaticMode(const std::string& commandLine, std::string* logPath);

}  // namespace ostrelle
