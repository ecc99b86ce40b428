// Standard handles, the --out file and the target checks.
#include "console_io.h"

#include <tlhelp32.h>

#include "console_paths.h"
#include "console_progress_line.h"
#include "console_text.h"
#include "text_conversion.h"

namespace tarvex::console {
namespace {

constexpr size_t kOutputBufferLength = 64 * 1024;

bool WriteAll(HANDLE handle, const char* data, size_t length) {
  while (length > 0) {
    const DWORD chunk = length > 0x100000 ? 0x100000 : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
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

PathKind ProbePath(const std::string& path) {
  const std::wstring extended = ExtendedPathFromAnsi(path);
  const DWORD attributes = GetFileAttributesW(extended.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::File;
  }
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return PathKind::Missing;
    default:
      return PathKind::Unknown;  // access denied, sharing, network: the engine will tell
  }
}

// Looks through a process snapshot; Unknown when there is none.
template <typename Matches>
Presence FindProcess(const Matches& matches) {
  const UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return Presence::Unknown;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL read = Process32FirstW(snapshot.Get(), &entry); read;
       read = Process32NextW(snapshot.Get(), &entry)) {
    if (matches(entry)) return Presence::Present;
  }
  return GetLastError() == ERROR_NO_MORE_FILES ? Presence::Absent : Presence::Unknown;
}

Presence ProcessNamed(const std::string& executableName) {
  const std::wstring wanted = WideFromAnsi(executableName);
  return FindProcess([&](const PROCESSENTRY32W& entry) {
    return CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL;
  });
}

Presence ProcessWithId(uint32_t processId) {
  return FindProcess(
      [&](const PROCESSENTRY32W& entry) { return entry.th32ProcessID == processId; });
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

std::wstring ExtendedPathFromAnsi(const std::string& path) {
  const std::wstring wide = WideFromAnsi(path);
  if (wide.empty()) return wide;
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return wide;
  full.resize(length);
  const std::u16string extended =
      ExtendedLengthPath(std::u16string(reinterpret_cast<const char16_t*>(full.data()), length));
  return std::wstring(reinterpret_cast<const wchar_t*>(extended.data()), extended.size());
}

TargetProbes SystemTargetProbes() { return {&ProbePath, &ProcessNamed, &ProcessWithId}; }

void WriteErrorLine(const std::string& line) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  const std::string text = line + "\r\n";
  if (IsConsoleHandle(error)) {
    WriteConsoleText(error, WideFromAnsi(text));
  } else if (error != nullptr && error != INVALID_HANDLE_VALUE) {
    WriteAll(error, text.data(), text.size());
  }
}

bool OutputSink::Open(const std::string& outPath, std::string* error) {
  buffer_.reserve(kOutputBufferLength);
  if (outPath.empty()) {
    target_ = GetStdHandle(STD_OUTPUT_HANDLE);
    console_ = IsConsoleHandle(target_);
    return true;
  }
  path_ = outPath;
  extendedPath_ = ExtendedPathFromAnsi(outPath);
  file_.Reset(CreateFileW(extendedPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD openError = GetLastError();
  // A file is emptied; a device (NUL, a pipe by name) has nothing to cut.
  if (file_ && GetFileType(file_.Get()) == FILE_TYPE_DISK && !SetEndOfFile(file_.Get())) {
    openError = GetLastError();
    file_.Reset();
  }
  if (!file_) {
    *error = "--out: cannot open '" + outPath + "': " + SystemErrorLine(openError) + " (error " +
             std::to_string(openError) + ")";
    return false;
  }
  created_ = openError != ERROR_ALREADY_EXISTS;
  target_ = file_.Get();
  return true;
}

bool OutputSink::Write(std::string_view utf8Text) {
  if (failed_) return false;
  buffer_.append(utf8Text.data(), utf8Text.size());
  if (buffer_.size() < kOutputBufferLength) return true;
  // A console gets whole characters; the cut-off rest waits for the next piece.
  const size_t length = console_ ? CompleteUtf8Length(buffer_) : buffer_.size();
  if (!WriteOut(std::string_view(buffer_).substr(0, length))) return false;
  buffer_.erase(0, length);
  return true;
}

bool OutputSink::Flush() {
  if (failed_) return false;
  if (!WriteOut(buffer_)) return false;
  buffer_.clear();
  return true;
}

bool OutputSink::WriteOut(std::string_view bytes) {
  if (bytes.empty()) return true;
  const bool written = target_ != nullptr && target_ != INVALID_HANDLE_VALUE &&
                       (console_ ? WriteConsoleText(target_, WideFromMultiByte(bytes, CP_UTF8))
                                 : WriteAll(target_, bytes.data(), bytes.size()));
  if (written) return true;
  errorNumber_ =
      target_ == nullptr || target_ == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE : GetLastError();
  failed_ = true;
  return false;
}

void OutputSink::Discard() {
  if (!file_) return;
  file_.Reset();
  if (created_) DeleteFileW(extendedPath_.c_str());
}

std::string OutputSink::ErrorLine() const {
  return std::string("cannot write the results") + (path_.empty() ? "" : " to '" + path_ + "'") +
         ": " + SystemErrorLine(errorNumber_) + " (error " + std::to_string(errorNumber_) + ")";
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
