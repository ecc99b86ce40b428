// Extension check before a written log is opened with the shell.
#include "open_policy.h"

#include <cctype>

namespace ostrelle {
namespace {

// Plain-text types; the only ones the shell is asked to open.
const char* const kOpenedExtensions[] = {".TXT", ".LOG", ".CSV"};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string FileNamePart(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string WithoutTrailingDotsAndBlanks(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

}  // namespace

std::string ShellExtension(const std::string& path) {
  const std::string name = WithoutTrailingDotsAndBlanks(FileNamePart(path));
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  return Upper(name.substr(dot));
}

bool MayOpenWithShell(const std::string& path) {
  if (FileNamePart(path).find(':') != std::string::npos) return false;
  const std::string extension = ShellExtension(path);
  for (const char* opened : kOpenedExtensions) {
    if (extension == opened) return true;
  }
  return false;
}

}  // namespace ostrelle
