// Host, user, time and version of the run records; the arguments in ANSI.
#include "run_facts.h"

#include "console_records.h"
#include "version_resource.h"
#include "text_conversion.h"
#include "win32_handles.h"

namespace tarvex::console {
namespace {

std::string Utf8FromWide(const wchar_t* text, size_t length) {
  return MultiByteFromWide(std::wstring_view(text, length), CP_UTF8);
}

}  // namespace

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &length)) return std::string();
  return Utf8FromWide(name, length);
}

std::string UserName() {
  HANDLE tokenHandle = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &tokenHandle)) return std::string();
  const UniqueHandle token(tokenHandle);
  DWORD needed = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &needed);
  if (needed == 0) return std::string();
  std::vector<unsigned char> information(needed);
  if (!GetTokenInformation(token.Get(), TokenUser, information.data(), needed, &needed)) {
    return std::string();
  }
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(information.data())->User.Sid;
  wchar_t name[256] = {};
  wchar_t domain[256] = {};
  DWORD nameChars = 256;
  DWORD domainChars = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, sid, name, &nameChars, domain, &domainChars, &use)) {
    return std::string();
  }
  const std::string user = Utf8FromWide(name, nameChars);
  return domainChars == 0 ? user : Utf8FromWide(domain, domainChars) + "\\" + user;
}

std::string UtcNowText() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return Iso8601Utc({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
}

std::string ModuleVersion(HMODULE module) {
  const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
  if (found == nullptr) return std::string();
  const HGLOBAL loaded = LoadResource(module, found);  // part of the image: nothing to free
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return std::string();
  const auto version = FixedFileVersion(
      std::string_view(static_cast<const char*>(data), SizeofResource(module, found)));
  if (!version) return std::string();
  return VersionText((*version)[0], (*version)[1], (*version)[2], (*version)[3]);
}

bool AnsiCodePageIsUtf8() { return GetACP() == CP_UTF8; }

std::vector<std::string> AnsiArguments(int argc, wchar_t** argv,
                                       std::vector<std::string>* lossyArguments) {
  std::vector<std::string> arguments;
  const bool utf8 = AnsiCodePageIsUtf8();
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    if (argument.empty()) {
      arguments.emplace_back();
      continue;
    }
    // UTF-8 takes every character; for another code page, a character it
    // lacks becomes its default character ('?') rather than a look-alike
    // that could name another file.
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultPointer = utf8 ? nullptr : &usedDefault;
    const int length = static_cast<int>(argument.size());
    const int needed = WideCharToMultiByte(CP_ACP, flags, argument.data(), length, nullptr, 0,
                                           nullptr, usedDefaultPointer);
    std::string text(needed > 0 ? static_cast<size_t>(needed) : 0, '\0');
    if (needed > 0) {
      WideCharToMultiByte(CP_ACP, flags, argument.data(), length, &text[0], needed, nullptr,
                          usedDefaultPointer);
    }
    if (usedDefault) lossyArguments->push_back(text);
    arguments.push_back(std::move(text));
  }
  return arguments;
}

}  // namespace tarvex::console
