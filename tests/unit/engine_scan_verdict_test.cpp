// Verdict rules of the buffer scan, the version gate and the split of long blocks.
#include <gtest/gtest.h>

#include "message_table.h"
#include "scan_verdict.h"

using namespace tarvex;

TEST(ScanVerdict, OutcomeWordAndJobVerdictPerAnswer) {
  constexpr int32_t kFailed = static_cast<int32_t>(0x80070057);
  struct Case {
    int32_t status;
    int32_t amsiResult;
    int32_t findingsOnly;
    ScanOutcome outcome;
    int wordRow;
  } cases[] = {
      {0, 0, 0, ScanOutcome::Clean, static_cast<int>(MessageRow::VerdictNo)},
      {0, 1, 0, ScanOutcome::Clean, static_cast<int>(MessageRow::VerdictNo)},
      {0, 2, 0, ScanOutcome::Detected, static_cast<int>(MessageRow::VerdictYes)},
      {0, 16384, 0, ScanOutcome::Detected, static_cast<int>(MessageRow::VerdictYes)},
      {0, 32768, 0, ScanOutcome::Detected, static_cast<int>(MessageRow::VerdictYes)},
      {0, -1, 0, ScanOutcome::Detected, static_cast<int>(MessageRow::VerdictYes)},
      {kFailed, 0, 0, ScanOutcome::NotScanned, static_cast<int>(MessageRow::VerdictNotScanned)},
      // Findings only: clean answers lose their word, the others keep it.
      {0, 1, 1, ScanOutcome::Clean, 0},
      {0, 0, -5, ScanOutcome::Clean, 0},
      {0, 32768, 1, ScanOutcome::Detected, static_cast<int>(MessageRow::VerdictYes)},
      {kFailed, 0, 1, ScanOutcome::NotScanned, static_cast<int>(MessageRow::VerdictNotScanned)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.outcome, ClassifyScan(c.status, c.amsiResult)) << c.status << "/" << c.amsiResult;
    EXPECT_EQ(c.wordRow, VerdictWordRow(c.status, c.amsiResult, c.findingsOnly))
        << c.status << "/" << c.amsiResult << "/" << c.findingsOnly;
  }
}

TEST(ScanVerdict, JobVerdictTransitions) {
  EXPECT_EQ(kVerdictClean, NextJobVerdict(kVerdictNothingScanned, ScanOutcome::Clean));
  EXPECT_EQ(kVerdictDetected, NextJobVerdict(kVerdictNothingScanned, ScanOutcome::Detected));
  EXPECT_EQ(kVerdictNothingScanned,
            NextJobVerdict(kVerdictNothingScanned, ScanOutcome::NotScanned));
  EXPECT_EQ(kVerdictDetected, NextJobVerdict(kVerdictClean, ScanOutcome::Detected));
  EXPECT_EQ(kVerdictClean, NextJobVerdict(kVerdictClean, ScanOutcome::NotScanned));
  EXPECT_EQ(kVerdictDetected, NextJobVerdict(kVerdictDetected, ScanOutcome::Clean));
  EXPECT_EQ(kVerdictDetected, NextJobVerdict(kVerdictDetected, ScanOutcome::NotScanned));
}

TEST(ScanVerdict, IsMalwareTexts) {
  EXPECT_EQ("yes (32768)", IsMalwareText("yes", 32768));
  EXPECT_EQ("no (1)", IsMalwareText("no", 1));
  EXPECT_EQ("not scanned (0)", IsMalwareText("not scanned", 0));
  EXPECT_EQ(" (1)", IsMalwareText("", 1));
  EXPECT_EQ("ja (-2)", IsMalwareText("ja", -2));
  EXPECT_EQ("Scan is not supported on this system! (0)",
            IsMalwareText(MessageText(MessageRow::NotSupported, kEnglish), 0));
}

TEST(ScanVerdict, VersionGate) {
  struct Case {
    bool ok;
    uint32_t platform, major, minor;
    bool supported;
    bool newerThan2000;
  } cases[] = {
      {true, 1, 4, 0, false, false},   // Windows 95
      {true, 1, 4, 10, false, false},  // Windows 98
      {true, 1, 4, 90, false, false},  // Windows Me
      {true, 2, 3, 51, false, false},  // NT 3.51
      {true, 2, 4, 0, false, false},   // NT 4
      {true, 2, 5, 0, false, false},   // 2000
      {true, 2, 5, 1, false, true},    // XP
      {true, 2, 5, 2, false, true},    // Server 2003
      {true, 2, 6, 0, false, true},    // Vista
      {true, 2, 6, 1, false, true},    // 7
      {true, 2, 6, 2, true, true},     // 8, or 10 without a manifest
      {true, 2, 6, 3, true, true},     // 8.1
      {true, 2, 10, 0, true, true},    // 10 and 11
      {false, 0, 0, 0, true, true},    // failed query
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.supported, IsAmsiSupportedVersion(c.ok, c.platform, c.major, c.minor))
        << c.platform << " " << c.major << "." << c.minor;
    EXPECT_EQ(c.newerThan2000, IsNewerThanWindows2000(c.ok, c.platform, c.major, c.minor))
        << c.platform << " " << c.major << "." << c.minor;
  }
}

TEST(ScanPieces, BlocksThatFitAre1Piece) {
  for (uint64_t length : {uint64_t{0}, uint64_t{1}, uint64_t{0xFFFFFFFF}}) {
    const auto pieces = PlanScanPieces(length, kLargeBlockPieceLength, kLargeBlockOverlapLength);
    ASSERT_EQ(1u, pieces.size());
    EXPECT_EQ(0u, pieces[0].offset);
    EXPECT_EQ(length, pieces[0].length);
  }
}

TEST(ScanPieces, LongBlocksAreCoveredByOverlappingPieces) {
  for (uint64_t length : {uint64_t{0x100000000}, uint64_t{0x100000001}, uint64_t{0x2FFFFFFFF},
                          uint64_t{10} * 0x40000000}) {
    const auto pieces = PlanScanPieces(length, kLargeBlockPieceLength, kLargeBlockOverlapLength);
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_EQ(0u, pieces.front().offset);
    for (size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_LE(pieces[i].length, kLargeBlockPieceLength);
      EXPECT_GT(pieces[i].length, 0u);
      if (i > 0) {
        // Each piece starts inside the previous one, overlapping by the overlap length.
        EXPECT_EQ(pieces[i - 1].offset + pieces[i - 1].length - kLargeBlockOverlapLength,
                  pieces[i].offset);
      }
    }
    EXPECT_EQ(length, pieces.back().offset + pieces.back().length) << length;
  }
}

TEST(ScanPieces, SmallPieceSizesStillCoverEverything) {
  const auto pieces =
      PlanScanPieces(uint64_t{1} << 33, 0x40000000u, 0x40000000u);  // overlap >= piece
  uint64_t covered = 0;
  for (const auto& piece : pieces) {
    EXPECT_EQ(covered, piece.offset);
    covered = piece.offset + piece.length;
  }
  EXPECT_EQ(uint64_t{1} << 33, covered);
}
