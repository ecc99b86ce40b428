// Files and folders for the stream and folder tests: a temporary folder that
// is removed with everything in it, long paths included.
#pragma once

#include <windows.h>

#include <string>

#include "system_texts.h"

namespace tarvex_test {

inline std::wstring WideFromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int count =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], count);
  return wide;
}

inline std::string AnsiFromWide(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int count = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &ansi[0], count,
                      nullptr, nullptr);
  return ansi;
}

// "\\?\" form of an absolute drive path, for paths beyond 260 characters.
inline std::wstring LongForm(const std::wstring& path) { return L"\\\\?\\" + path; }

inline bool PutFile(const std::wstring& path, const std::string& content) {
  HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      content.empty() ||
      WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

inline bool MakeFolder(const std::wstring& path) {
  return CreateDirectoryW(LongForm(path).c_str(), nullptr) != FALSE;
}

inline void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW(LongForm(path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(LongForm(child).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(LongForm(path).c_str());
}

// A new folder under the temporary folder, removed with its content at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    ansi_ = std::string(temp) + "tarvex-" + name + "-" + std::to_string(GetCurrentProcessId());
    wide_ = WideFromAnsi(ansi_);
    RemoveTree(wide_);
    ok_ = MakeFolder(wide_);
  }
  ~TempFolder() { RemoveTree(wide_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Ansi() const { return ansi_; }
  const std::wstring& Wide() const { return wide_; }
  std::string Ansi(const std::string& child) const { return ansi_ + "\\" + child; }
  std::wstring Wide(const std::wstring& child) const { return wide_ + L"\\" + child; }

 private:
  std::string ansi_;
  std::wstring wide_;
  bool ok_ = false;
};

}  // namespace tarvex_test
