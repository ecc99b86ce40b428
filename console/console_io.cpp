// Standard handles and the --out file.
#include "console_io.h"

#include "console_progress_line.h"
#include "text_conversion.h"

namespace tarvex::console {
namespace {

bool WriteAll(HANDLE handle, const char* data, size_t length) {
  while (length > 0) {
    const DWORD chunk = length > 0x100000 ? 0x100000 : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    length -= written;
  }
  return true;
}

// WriteConsoleW in pieces: old consoles refuse very long writes.
bool WriteConsoleText(HANDLE console, const std::wstring& text) {
  size_t offset = 0;
  while (offset < text.size()) {
    const DWORD chunk =
        static_cast<DWORD>(text.size() - offset > 8192 ? 8192 : text.size() - offset);
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + offset, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    offset += written;
  }
  return true;
}

bool WriteText(HANDLE handle, const std::string& text, UINT codePage) {
  if (IsConsoleHandle(handle)) return WriteConsoleText(handle, WideFromMultiByte(text, codePage));
  return WriteAll(handle, text.data(), text.size());
}

}  // namespace

std::string SystemErrorLine(DWORD errorNumber) {
  char buffer[1024] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, errorNumber, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
  return text.empty() ? std::string("system error") : text;
}

bool IsConsoleHandle(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

PathKind ProbePath(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::File;
}

void WriteErrorLine(const std::string& line) {
  WriteText(GetStdHandle(STD_ERROR_HANDLE), line + "\r\n", CP_ACP);
}

bool OutputSink::Open(const std::string& outPath, std::string* error) {
  if (outPath.empty()) return true;
  path_ = outPath;
  // OPEN_ALWAYS, not CREATE_ALWAYS: an existing file keeps its content until
  // the results are written.
  file_.Reset(CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  const DWORD openError = GetLastError();
  if (!file_) {
    *error = "--out: cannot open '" + outPath + "': " + SystemErrorLine(openError) + " (error " +
             std::to_string(openError) + ")";
    return false;
  }
  created_ = openError != ERROR_ALREADY_EXISTS;
  return true;
}

bool OutputSink::Write(const std::string& text, UINT codePage, std::string* error) {
  const HANDLE target = file_ ? file_.Get() : GetStdHandle(STD_OUTPUT_HANDLE);
  if (WriteText(target, text, codePage)) return true;
  const DWORD writeError = GetLastError();
  *error = std::string("cannot write the results") + (file_ ? " to '" + path_ + "'" : "") + ": " +
           SystemErrorLine(writeError) + " (error " + std::to_string(writeError) + ")";
  return false;
}

bool OutputSink::Finish(std::string* error) {
  if (!file_) return true;
  if (SetEndOfFile(file_.Get())) {
    file_.Reset();
    return true;
  }
  const DWORD endError = GetLastError();
  *error = "cannot end '" + path_ + "': " + SystemErrorLine(endError);
  return false;
}

void OutputSink::Discard() {
  if (!file_) return;
  file_.Reset();
  if (created_) DeleteFileA(path_.c_str());
}

bool ReadStandardInput(std::vector<char>* data, std::string* error) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) {
    *error = "stdin: there is no standard input";
    return false;
  }
  const size_t kChunk = 1 << 20;
  size_t used = data->size();
  for (;;) {
    data->resize(used + kChunk);
    DWORD read = 0;
    if (!ReadFile(input, data->data() + used, static_cast<DWORD>(kChunk), &read, nullptr)) {
      const DWORD readError = GetLastError();
      if (readError == ERROR_BROKEN_PIPE) break;  // the writer closed its end: the end of the data
      data->resize(used);
      *error = "stdin: cannot read: " + SystemErrorLine(readError) + " (error " +
               std::to_string(readError) + ")";
      return false;
    }
    if (read == 0) break;
    used += read;
  }
  data->resize(used);
  return true;
}

ProgressDisplay::ProgressDisplay() {
  console_ = GetStdHandle(STD_ERROR_HANDLE);
  enabled_ = IsConsoleHandle(console_);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (enabled_ && GetConsoleScreenBufferInfo(console_, &info)) {
    const int width = info.srWindow.Right - info.srWindow.Left;  // one less than the window
    if (width >= 20) widthChars_ = static_cast<size_t>(width);
  }
}

void ProgressDisplay::Show(const std::string& scanObject, intptr_t entryCount) {
  if (!enabled_) return;
  WriteConsoleText(console_,
                   L"\r" + WideFromAnsi(ProgressLine(scanObject, entryCount, widthChars_)));
  shown_ = true;
}

void ProgressDisplay::Clear() {
  if (!enabled_ || !shown_) return;
  WriteConsoleText(console_, L"\r" + std::wstring(widthChars_, L' ') + L"\r");
  shown_ = false;
}

}  // namespace tarvex::console
