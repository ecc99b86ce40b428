// The engine's process-wide state and its attach at library load.
#include "engine_state.h"

#include "amsi_session.h"
#include "text_conversion.h"

namespace tarvex {

EngineState& Engine() {
  static EngineState state;
  return state;
}

const char* Text(MessageRow row) { return MessageText(row, Engine().languageIndex); }

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
  // The texts go out in the code page of the process that loaded the engine,
  // as every other text of its interface does.
  UseMessageCodePage([](std::u16string_view text) { return AnsiFromU16(text); });
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
