// AMSI context and session per job; the scans themselves use only the context.
#include "amsi_session.h"

#include <objbase.h>
#include <shlwapi.h>

#include "engine_state.h"
#include "scan_verdict.h"
#include "system_text.h"
#include "text_conversion.h"
#include "text_limits.h"

namespace tarvex {
namespace {

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  // GetProcAddress returns a generic function pointer; the signatures are AMSI's own.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Bare file name of the host executable, in UTF-16.
std::wstring HostExecutableName() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  PathStripPathA(path);
  return WideFromAnsi(path);
}

void NoteAmsiFailure(const char* prefix, HRESULT status) {
  AmsiBinding& amsi = Engine().amsi;
  std::string text = SystemErrorText(TranslateStatus(status));
  if (text.empty()) text = " ";
  amsi.sessionNote = prefix;
  AppendWithin(amsi.sessionNote, text, kSessionNoteMaxChars);
  Engine().record.errorNumber = static_cast<intptr_t>(TranslateStatus(status));
}

}  // namespace

void BindAmsiLibrary() {
  AmsiBinding& amsi = Engine().amsi;
  amsi.module = LoadLibraryA("Amsi.dll");
  if (amsi.module == nullptr) return;
  amsi.initialize = Lookup<AmsiInitializeFn>(amsi.module, "AmsiInitialize");
  amsi.openSession = Lookup<AmsiOpenSessionFn>(amsi.module, "AmsiOpenSession");
  amsi.scanBuffer = Lookup<AmsiScanBufferFn>(amsi.module, "AmsiScanBuffer");
  amsi.closeSession = Lookup<AmsiCloseSessionFn>(amsi.module, "AmsiCloseSession");
  amsi.uninitialize = Lookup<AmsiUninitializeFn>(amsi.module, "AmsiUninitialize");
}

HRESULT StartAmsiSession() {
  EngineState& engine = Engine();
  AmsiBinding& amsi = engine.amsi;
  // A system that passes the version gate but lacks Amsi.dll or one of its
  // functions is handled like an unsupported one: no AMSI call at all.
  if (!SystemSupportsAmsi() || !amsi.Complete()) {
    engine.record.errorNumber = kErrorBadDriverLevel;
    return -1;
  }
  const std::wstring appName = HostExecutableName();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);

  amsi.context = nullptr;
  amsi.session = nullptr;
  HRESULT status = amsi.initialize(appName.c_str(), &amsi.context);
  if (status != S_OK) {
    amsi.context = nullptr;
    NoteAmsiFailure("AmsiInitialize: ", status);
    return status;
  }
  amsi.state = AmsiState::ContextOnly;
  status = amsi.openSession(amsi.context, &amsi.session);
  if (status != S_OK) {
    amsi.session = nullptr;
    NoteAmsiFailure("AmsiOpenSession: ", status);
    return status;
  }
  amsi.state = AmsiState::ContextAndSession;
  return S_OK;
}

void EndAmsiSession() {
  AmsiBinding& amsi = Engine().amsi;
  if (!SystemSupportsAmsi() || !amsi.Complete()) return;
  if (amsi.state == AmsiState::ContextAndSession) {
    amsi.closeSession(amsi.context, amsi.session);
    amsi.uninitialize(amsi.context);
  } else if (amsi.state == AmsiState::ContextOnly) {
    amsi.uninitialize(amsi.context);
  }
  amsi.context = nullptr;
  amsi.session = nullptr;
}

}  // namespace tarvex
