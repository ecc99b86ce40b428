// Log text, registry and bitness information, and the save command.
#include "log_file.h"

#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "app_state.h"
#include "bitness.h"
#include "dialogs.h"
#include "log_blocks.h"
#include "main_window.h"
#include "open_policy.h"
#include "text_table.h"
#include "timestamp.h"
#include "win32_handles.h"

namespace ostrelle {
namespace {

const char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

Timestamp MakeTimestamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return MakeTimestampText({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute});
}

}  // namespace

std::string ReadRegistryText(HKEY root, const char* keyName, const char* valueName) {
  tarvex::UniqueRegistryKey key;
  if (RegOpenKeyExA(root, keyName, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
    key.Release();
    return std::string();
  }
  BYTE probe[1] = {};
  DWORD size = sizeof probe;
  RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, probe, &size);
  // Two spare zero bytes terminate a value stored without its terminator.
  std::vector<char> buffer(static_cast<size_t>(size) + 2, '\0');
  DWORD bufferSize = size;
  if (RegQueryValueExA(key.Get(), valueName, nullptr, nullptr,
                       reinterpret_cast<BYTE*>(buffer.data()), &bufferSize) != ERROR_SUCCESS) {
    return std::string();
  }
  return std::string(buffer.data());
}

void SetBitnessWords() {
#ifdef _WIN64
  const bool build64 = true;
#else
  const bool build64 = false;
#endif
  bool wow64 = false;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  if (HMODULE kernel = GetModuleHandleA("Kernel32.DLL")) {
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL result = FALSE;
    if (isWow64Process != nullptr && isWow64Process(GetCurrentProcess(), &result)) {
      wow64 = result == TRUE;
    }
  }
  const BitnessEntries entries = BitnessWordEntries(build64, wow64);
  App().osBitnessWord = Text(entries.osEntry);
  App().scannerBitnessWord = Text(entries.scannerEntry);
}

void AppendScanHeader(const std::string& typeText) {
  AppState& app = App();
  ScanHeaderFields fields;
  fields.start = MakeTimestamp();
  fields.currentVersion = ReadRegistryText(HKEY_LOCAL_MACHINE, kVersionKey, "CurrentVersion");
  fields.currentBuildNumber =
      ReadRegistryText(HKEY_LOCAL_MACHINE, kVersionKey, "CurrentBuildNumber");
  fields.productName = ReadRegistryText(HKEY_LOCAL_MACHINE, kVersionKey, "ProductName");
  fields.osBitnessWord = app.osBitnessWord;
  fields.typeText = typeText;
  fields.scannerBitnessWord = app.scannerBitnessWord;
  app.logText += ScanHeader(fields, app.language);
}

void AppendScanFooter(const std::string& report) {
  App().logText += ScanFooter(MakeTimestamp(), report, App().language);
}

void AppendEndRule() { App().logText += EndRule(); }

bool WriteLogFile(const std::string& path) {
  tarvex::UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const std::string& text = App().logText;
  size_t offset = 0;
  while (offset < text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - offset, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.Get(), text.data() + offset, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    offset += written;
  }
  return true;
}

LogSaveOutcome WriteAndOpenLog(const std::string& path, HWND owner) {
  if (!WriteLogFile(path)) return LogSaveOutcome::NotWritten;
  // Only what was written here is opened, and only a plain-text type: the
  // log holds names found on disk.
  if (!MayOpenWithShell(path)) return LogSaveOutcome::NotOpened;
  char directory[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
  ShellExecuteA(owner, "open", path.c_str(), "",
                length > 0 && length < sizeof directory ? directory : nullptr, SW_SHOWNORMAL);
  return LogSaveOutcome::Opened;
}

void ShowLogSaveOutcome(LogSaveOutcome outcome, const std::string& path) {
  switch (outcome) {
    case LogSaveOutcome::NotWritten:
      SetStatusText((Text(kTextLogNotSaved) + path).c_str());
      break;
    case LogSaveOutcome::NotOpened:
      SetStatusText((Text(kTextLogSavedNotOpened) + path).c_str());
      break;
    case LogSaveOutcome::Opened:
      break;
  }
}

void SaveLogCommand() {
  const std::string path = AskSavePath(App().mainWindow, Text(kTextSaveDialogTitle));
  if (path.empty()) return;
  ShowLogSaveOutcome(WriteAndOpenLog(path, nullptr), path);
}

}  // namespace ostrelle
