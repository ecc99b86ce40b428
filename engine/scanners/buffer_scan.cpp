// ScanBufferCore: the one place that asks AMSI for a verdict. The decisions
// are the core's (scanners/logic/block_scan.h); this file makes the calls.
#include <windows.h>

#include "engine_state.h"
#include "fault_injection.h"
#include "scanners.h"
#include "scanners/logic/block_scan.h"
#include "system_text.h"
#include "text_conversion.h"
#include "wow64.h"

namespace tarvex {
namespace {

class Win32BlockScan : public BlockScanHost {
 public:
  // The content name is handed to AMSI in UTF-16.
  Win32BlockScan(const AmsiBinding& amsi, const void* block, const std::string& contentName)
      : amsi_(amsi),
        block_(static_cast<const char*>(block)),
        contentName_(WideFromAnsi(contentName)) {}

  AmsiAnswer ScanPiece(uint64_t offset, uint32_t length) override {
    AMSI_RESULT result = 0;
    void* start = const_cast<char*>(block_ + offset);
    // The provider may load libraries of its own during a scan.
    const FsRedirectionAsBeforeJob redirectionAsBefore;
    const HRESULT status =
        amsi_.scanBuffer(amsi_.context, start, length, contentName_.c_str(), nullptr, &result);
    return AmsiAnswer{status, result};
  }
  // Every clean block's entry carries the text for error 0: formatted once
  // per job instead of once per block.
  std::string SystemErrorText(uint32_t errorNumber) override {
    if (errorNumber != 0) return tarvex::SystemErrorText(errorNumber);
    EngineState& engine = Engine();
    if (!engine.successTextKnown) {
      engine.successText = tarvex::SystemErrorText(0);
      engine.successTextKnown = true;
    }
    return engine.successText;
  }
  uint32_t ErrorNumberOf(int32_t status) override { return TranslateStatus(status); }

 private:
  const AmsiBinding& amsi_;
  const char* block_;
  const std::wstring contentName_;
};

}  // namespace

void ScanBufferCore(const std::string& target, const void* buffer, uintptr_t length,
                    int32_t findingsOnly, const std::string& processName,
                    const std::string& processId) {
  EngineState& engine = Engine();
  FailAllocationAt("ScanBufferCore");
  const EntrySubject subject{processName, processId, target};
  if (!SystemSupportsAmsi() || !engine.amsi.Complete()) {
    Win32BlockScan noScan(engine.amsi, buffer, std::string());
    AppendUnsupportedEntry(noScan, subject, engine.languageIndex, engine.record);
    return;
  }
  Win32BlockScan host(engine.amsi, buffer, target);
  const BlockScanJob job{engine.languageIndex, findingsOnly, engine.amsi.sessionNote};
  ScanBlock(host, subject, length, job, engine.record);
}

}  // namespace tarvex
