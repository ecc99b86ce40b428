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

std::string PickFolder(HWND owner, const char* title) {
  BROWSEINFOA browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  const tarvex::UniqueCoTaskMemory<PIDLIST_ABSOLUTE> chosen(SHBrowseForFolderA(&browse));
  if (!chosen) return std::string();
  char path[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(chosen.Get(), path) || path[0] == '\0') return "\\";
  std::string folder = path;
  if (folder.back() != '\\') folder += '\\';
  return folder;
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
