// Input dialog, folder picker, file-open and save dialogs.
#include "dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "resource.h"
#include "win32_handles.h"

namespace ostrelle {
namespace {

struct InputDialogData {
  const char* title;
  const char* prompt;
  std::string text;
};

INT_PTR CALLBACK InputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* data = reinterpret_cast<InputDialogData*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, data->title);
      SetDlgItemTextA(dialog, IDC_INPUT_PROMPT, data->prompt);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* data = reinterpret_cast<InputDialogData*>(GetWindowLongPtrA(dialog, DWLP_USER));
        HWND edit = GetDlgItem(dialog, IDC_INPUT_EDIT);
        std::vector<char> buffer(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
        GetWindowTextA(edit, buffer.data(), static_cast<int>(buffer.size()));
        data->text = buffer.data();
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// One 260-byte path buffer, as the dialogs are given.
constexpr DWORD kPathBufferLength = 260;

// The longest path Windows knows, with its terminator.
constexpr DWORD kLongPathChars = 32768;

// The path in the ANSI code page, which the engine's exports take; false when
// a character has no exact counterpart there (a best-fit or default character
// would name another folder).
bool AnsiWithoutLoss(const wchar_t* wide, std::string* ansi) {
  // A UTF-8 ANSI code page holds every character, and rejects these flags.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
  const int length =
      WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, usedDefaultOut);
  if (length <= 1) return false;
  std::vector<char> buffer(static_cast<size_t>(length), '\0');
  if (WideCharToMultiByte(CP_ACP, flags, wide, -1, buffer.data(), length, nullptr,
                          usedDefaultOut) != length ||
      usedDefault) {
    return false;
  }
  *ansi = buffer.data();
  return true;
}

OPENFILENAMEA FileDialogFields(HWND owner, const char* title, const char* filter, char* path) {
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path;
  dialog.nMaxFile = kPathBufferLength;
  dialog.lpstrTitle = title;
  dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  return dialog;
}

}  // namespace

std::string AskText(HWND owner, const char* title, const char* prompt) {
  InputDialogData data{title, prompt, std::string()};
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INPUT),
                                         owner, InputDialogProc, reinterpret_cast<LPARAM>(&data));
  return result == IDOK ? data.text : std::string();
}

PickedFolderItem PickFolder(HWND owner, const char* title) {
  PickedFolderItem picked;
  BROWSEINFOA browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  const tarvex::UniqueCoTaskMemory<PIDLIST_ABSOLUTE> chosen(SHBrowseForFolderA(&browse));
  if (!chosen) return picked;
  picked.chosen = true;
  // SHGetPathFromIDListA stops at MAX_PATH characters; a deeper folder must
  // not look like an item without a path.
  std::vector<wchar_t> widePath(kLongPathChars, L'\0');
  if (SHGetPathFromIDListEx(chosen.Get(), widePath.data(), kLongPathChars, GPFIDL_DEFAULT) &&
      widePath[0] != L'\0') {
    picked.pathFound = true;
    picked.pathInAnsi = AnsiWithoutLoss(widePath.data(), &picked.ansiPath);
  }
  PIDLIST_ABSOLUTE computerList = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computerList))) {
    const tarvex::UniqueCoTaskMemory<PIDLIST_ABSOLUTE> computer(computerList);
    picked.isComputerNode = ILIsEqual(chosen.Get(), computer.Get()) != FALSE;
  }
  return picked;
}

std::string PickFile(HWND owner, const char* title) {
  // The pattern "*" alone: description and pattern are the same text.
  static const char kFilter[] = "*\0*\0";
  char path[kPathBufferLength] = {};
  OPENFILENAMEA dialog = FileDialogFields(owner, title, kFilter, path);
  if (!GetOpenFileNameA(&dialog)) return std::string();
  return path;
}

std::string AskSavePath(HWND owner, const char* title) {
  // "Text-Datei | *.txt": one filter, the "|" separating description and pattern.
  static const char kFilter[] = "Text-Datei\0*.txt\0";
  char path[kPathBufferLength] = "ASMI-Logfile.txt";
  OPENFILENAMEA dialog = FileDialogFields(owner, title, kFilter, path);
  if (!GetSaveFileNameA(&dialog)) return std::string();
  return path;
}

}  // namespace ostrelle
