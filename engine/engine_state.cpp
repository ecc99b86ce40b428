// The engine's process-wide state and its attach at library load.
#include "engine_state.h"

#include "amsi_session.h"
#include "text_limits.h"

namespace tarvex {

EngineState& Engine() {
  static EngineState state;
  return state;
}

const char* Text(MessageRow row) { return MessageText(row, Engine().languageIndex); }

void AppendResultEntry(std::string processName, std::string processId, std::string scantarget,
                       std::string isMalware, std::string scannermessage) {
  EngineState& engine = Engine();
  ResultEntry entry;
  entry.processName = std::move(processName);
  entry.processId = std::move(processId);
  entry.scantarget = std::move(scantarget);
  entry.isMalware = std::move(isMalware);
  entry.scannermessage = std::move(scannermessage);
  entry.scannerErrornumber = DecimalText(engine.jobErrorNumber);
  engine.results.Append(entry);
}

void SetMessageArea(std::string text) {
  CutTo(text, kMessageAreaMaxChars);
  Engine().messageArea = std::move(text);
}

namespace {

int32_t ChooseLanguage() {
  // LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE | LOCALE_RETURN_NUMBER: the language
  // identifier as a number; its low byte 7 is German in every sublanguage.
  char buffer[4] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE | LOCALE_RETURN_NUMBER, buffer,
                 sizeof buffer);
  return LanguageFromLocaleByte(static_cast<int8_t>(buffer[0]));
}

}  // namespace

void AttachEngine(HMODULE module) {
  EngineState& engine = Engine();
  engine.module = module;
  engine.textReport.clear();
  engine.messageArea.reserve(1024);
  engine.languageIndex = ChooseLanguage();
  BindAmsiLibrary();
  // Kernel32 is always loaded; its handle is taken, not loaded again.
  HMODULE kernel = GetModuleHandleA("Kernel32.DLL");
  if (kernel != nullptr) {
    engine.queryFullProcessImageName = reinterpret_cast<QueryFullProcessImageNameAFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "QueryFullProcessImageNameA")));
  }
}

}  // namespace tarvex
