// ScanBufferCore: the one place that asks AMSI for a verdict. The decisions
// are the core's (scanners/logic/block_scan.h); this file makes the calls.
#include <windows.h>

#include "engine_state.h"
#include "scanners.h"
#include "scanners/logic/block_scan.h"
#include "system_text.h"
#include "text_conversion.h"

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
    const HRESULT status =
        amsi_.scanBuffer(amsi_.context, start, length, contentName_.c_str(), nullptr, &result);
    return AmsiAnswer{status, result};
  }
  std::string SystemErrorText(uint32_t errorNumber) override {
    return tarvex::SystemErrorText(errorNumber);
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
