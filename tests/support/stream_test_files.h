// Files and folders for the stream and folder tests: a temporary folder that
// is removed with everything in it, long paths included.
#pragma once

#include <windows.h>

#include <string>

#include "system_texts.h"
#include "text_conversion.h"
#include "win32_handles.h"

namespace tarvex_test {

using tarvex::AnsiFromWide;
using tarvex::WideFromAnsi;

// "\\?\" form of an absolute drive path, for paths beyond 260 characters.
inline std::wstring LongForm(const std::wstring& path) { return L"\\\\?\\" + path; }

inline bool PutFile(const std::wstring& path, const std::string& content) {
  const tarvex::UniqueFileHandle file(CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const BOOL ok =
      content.empty() ||
      WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  return ok && written == content.size();
}

inline bool MakeFolder(const std::wstring& path) {
  return CreateDirectoryW(LongForm(path).c_str(), nullptr) != FALSE;
}

inline void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  tarvex::UniqueFindHandle find(FindFirstFileW(LongForm(path + L"\\*").c_str(), &data));
  if (find) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(LongForm(child).c_str());
      }
    } while (FindNextFileW(find.Get(), &data));
    find.Reset();
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
