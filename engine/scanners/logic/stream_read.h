// Reading a stream's content: the plan for its size, the read in pieces of a
// 32-bit count, and the texts of a read that came up short.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarvex {

// One read request is at most this long (ReadFile takes a 32-bit count; 1 GiB
// keeps every request well inside it).
constexpr uint32_t kReadPieceMaxLength = 0x40000000u;

// Windows error numbers of the stream reader.
constexpr uint32_t kErrorHandleEof = 38;  // ERROR_HANDLE_EOF: the stream ended early

enum class ContentPlan {
  NoData,    // size 0: "No data!"
  TooLarge,  // more bytes than one buffer of this build can hold: not scanned
  Read,      // one buffer of exactly the size, read in pieces
};

// maxBufferLength is the largest buffer this build can address (SIZE_MAX).
ContentPlan PlanStreamContent(uint64_t streamLength, uint64_t maxBufferLength);

struct ReadOutcome {
  uint64_t deliveredLength = 0;
  uint32_t lastError = 0;  // the error of the last read request, 0 when it succeeded
};

// Reads streamLength bytes through read(offset, requestLength, &delivered,
// &error), which returns false on failure. Requests are at most maxPieceLength
// bytes and follow each other; the reading stops at the first failure and at
// the first request that delivers nothing (the end of the stream).
ReadOutcome ReadInPieces(uint64_t streamLength, uint32_t maxPieceLength,
                         const std::function<bool(uint64_t offset, uint32_t requestLength,
                                                  uint32_t* delivered, uint32_t* error)>& read);

// Error number of a read that delivered less than the stream's size: the
// read's own error, or ERROR_HANDLE_EOF when the stream simply ended early.
uint32_t ShortReadError(uint32_t lastError);

// Message of the entry for the part of a stream that could not be read:
// "ReadFile -> " + the system's text for the error + " (delivered/size)".
std::string ShortReadMessage(const std::string& systemText, uint64_t deliveredLength,
                             uint64_t streamLength);

}  // namespace tarvex
