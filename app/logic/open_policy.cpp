// Extension checks before a written log is opened with the shell.
#include "open_policy.h"

#include <cctype>

namespace ostrelle {
namespace {

// Types that run code or point at something that does, whatever PATHEXT says.
const char* const kNeverOpened[] = {
    ".EXE",        ".COM",       ".BAT",
    ".CMD",        ".PIF",       ".SCR",
    ".LNK",        ".URL",       ".HTA",
    ".JS",         ".JSE",       ".VBS",
    ".VBE",        ".VB",        ".WSF",
    ".WSH",        ".WSC",       ".WS",
    ".SCT",        ".PS1",       ".PS1XML",
    ".PS2",        ".PSC1",      ".PSM1",
    ".PSD1",       ".MSC",       ".MSI",
    ".MSP",        ".MST",       ".CPL",
    ".DLL",        ".OCX",       ".SYS",
    ".DRV",        ".INF",       ".INS",
    ".REG",        ".JAR",       ".CHM",
    ".HLP",        ".SCF",       ".SHB",
    ".SHS",        ".GADGET",    ".APPLICATION",
    ".APPREF-MS",  ".XBAP",      ".SETTINGCONTENT-MS",
    ".LIBRARY-MS", ".SEARCH-MS", ".SEARCHCONNECTOR-MS",
    ".WEBSITE",    ".DIAGCAB",   ".APPX",
    ".APPXBUNDLE", ".MSIX",      ".MSIXBUNDLE",
    ".PY",         ".PYW",       ".PL",
    ".RB",         ".XLL",       ".JNLP",
    ".ISP",
};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

std::string FileNamePart(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string WithoutTrailingDotsAndBlanks(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

bool InPathExt(const std::string& extension, const std::string& pathExt) {
  size_t start = 0;
  while (start <= pathExt.size()) {
    size_t end = pathExt.find(';', start);
    if (end == std::string::npos) end = pathExt.size();
    const std::string item = Upper(Trim(pathExt.substr(start, end - start)));
    if (!item.empty() && item == extension) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string ShellExtension(const std::string& path) {
  const std::string name = WithoutTrailingDotsAndBlanks(FileNamePart(path));
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  return Upper(name.substr(dot));
}

bool MayOpenWithShell(const std::string& path, const std::string& pathExt) {
  const std::string name = FileNamePart(path);
  if (name.find(':') != std::string::npos) return false;
  const std::string extension = ShellExtension(path);
  // Without an extension the shell would try the name with program extensions appended.
  if (extension.size() < 2) return false;
  for (const char* never : kNeverOpened) {
    if (extension == never) return false;
  }
  return !InPathExt(extension, pathExt);
}

}  // namespace ostrelle
