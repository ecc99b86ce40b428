// Decisions of the buffer scan: outcome of an AMSI answer, the verdict word,
// the IsMalware text, the job verdict, the version gate, the split of blocks
// longer than AMSI's 32-bit length and the answer of a block scanned in pieces.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "message_table.h"

namespace tarvex {

enum class ScanOutcome { NotScanned, Clean, Detected };

// Job verdict values.
constexpr intptr_t kVerdictNothingScanned = -1;
constexpr intptr_t kVerdictClean = 0;
constexpr intptr_t kVerdictDetected = 1;

// Windows error numbers the engine records itself.
constexpr intptr_t kErrorBadDriverLevel = 119;  // ERROR_BAD_DRIVER_LEVEL: no AMSI on this system
constexpr intptr_t kErrorNotEnoughMemory = 8;   // ERROR_NOT_ENOUGH_MEMORY

// AMSI results 0 (clean) and 1 (not detected) are clean; every other value is a detection.
bool IsDetection(int32_t amsiResult);

// Outcome of one AmsiScanBuffer call from its HRESULT and the AMSI result.
ScanOutcome ClassifyScan(int32_t scanStatus, int32_t amsiResult);

// Job verdict after an outcome: -1 -> 0 on clean, anything -> 1 on a detection,
// a failed scan changes nothing, and 1 never goes back.
intptr_t NextJobVerdict(intptr_t jobVerdict, ScanOutcome outcome);

// Row of the verdict word, or 0 when the word is left out (findings-only flag
// set and a clean outcome).
int VerdictWordRow(int32_t scanStatus, int32_t amsiResult, int32_t findingsOnly);

// "word (result)", for instance "yes (32768)"; an empty word gives " (1)".
std::string IsMalwareText(const std::string& word, int64_t amsiResult);

// Windows versions without AMSI support: 95, 98, Me, NT 3.x, NT 4, 2000, XP,
// Server 2003, Vista and 7. A failed version query counts as supported.
bool IsAmsiSupportedVersion(bool queryOk, uint32_t platformId, uint32_t major, uint32_t minor);

// True for systems newer than Windows 2000 (the privilege check is made there).
bool IsNewerThanWindows2000(bool queryOk, uint32_t platformId, uint32_t major, uint32_t minor);

// One piece of a block handed to AMSI.
struct ScanPiece {
  uint64_t offset;
  uint32_t length;
};

// AMSI takes a 32-bit length. A block that fits is one piece; a longer one is
// split into pieces of at most maxPieceLength bytes that overlap by
// overlapLength bytes, so content across a piece border is still seen whole.
std::vector<ScanPiece> PlanScanPieces(uint64_t length, uint32_t maxPieceLength,
                                      uint32_t overlapLength);

constexpr uint32_t kLargeBlockPieceLength = 0x80000000u;  // 2 GiB
constexpr uint32_t kLargeBlockOverlapLength = 0x100000u;  // 1 MiB

// One answer of AmsiScanBuffer: its HRESULT and the AMSI result.
struct AmsiAnswer {
  int32_t status = 0;
  int32_t result = 0;
};

// Scans the pieces in order through scanPiece and gives the block's answer:
// the first detection (the pieces after it are not scanned), else the first
// failure, else the last clean answer. No pieces give {0, 0}.
AmsiAnswer ScanPiecesInTurn(const std::vector<ScanPiece>& pieces,
                            const std::function<AmsiAnswer(const ScanPiece& piece)>& scanPiece);

}  // namespace tarvex
