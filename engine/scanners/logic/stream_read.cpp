// Stream content: size plan, reading in pieces, short-read texts.
#include "stream_read.h"

#include "text_limits.h"

namespace tarvex {

ContentPlan PlanStreamContent(uint64_t streamLength, uint64_t maxBufferLength) {
  if (streamLength == 0) return ContentPlan::NoData;
  if (streamLength > maxBufferLength) return ContentPlan::TooLarge;
  return ContentPlan::Read;
}

ReadOutcome ReadInPieces(uint64_t streamLength, uint32_t maxPieceLength,
                         const std::function<bool(uint64_t offset, uint32_t requestLength,
                                                  uint32_t* delivered, uint32_t* error)>& read) {
  ReadOutcome outcome;
  while (outcome.deliveredLength < streamLength) {
    const uint64_t remaining = streamLength - outcome.deliveredLength;
    const uint32_t request =
        remaining < maxPieceLength ? static_cast<uint32_t>(remaining) : maxPieceLength;
    uint32_t delivered = 0;
    uint32_t error = 0;
    const bool ok = read(outcome.deliveredLength, request, &delivered, &error);
    outcome.lastError = error;
    if (delivered > request) delivered = request;
    outcome.deliveredLength += delivered;
    if (!ok || delivered == 0) break;
  }
  return outcome;
}

uint32_t ShortReadError(uint32_t lastError) { return lastError != 0 ? lastError : kErrorHandleEof; }

std::string ShortReadMessage(const std::string& systemText, uint64_t deliveredLength,
                             uint64_t streamLength) {
  std::string text = systemText;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return "ReadFile -> " + text + " (" + DecimalText(static_cast<int64_t>(deliveredLength)) + "/" +
         DecimalText(static_cast<int64_t>(streamLength)) + ")";
}

}  // namespace tarvex
