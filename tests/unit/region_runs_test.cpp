// Run building over region lists made here, the end of the walk for both
// address widths, and the hexadecimal texts of the walk.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scanners/logic/region_runs.h"

using namespace tarvex;

namespace {

constexpr uint32_t kCommit = 0x1000;
constexpr uint32_t kReserve = 0x2000;
constexpr uint32_t kFree = 0x10000;
constexpr uint32_t kNoAccess = 0x01;
constexpr uint32_t kReadOnly = 0x02;
constexpr uint32_t kReadWrite = 0x04;
constexpr uint32_t kExecute = 0x10;
constexpr uint32_t kExecuteRead = 0x20;
constexpr uint32_t kGuard = 0x100;
constexpr uint32_t kNoCache = 0x200;

struct Region {
  uint32_t state;
  uint32_t protect;
  uint64_t size;
};

template <typename Address>
struct WalkResult {
  std::vector<RegionRun<Address>> runs;
  size_t regionsTaken = 0;
  RegionRun<Address> droppedRun;  // open when the walk ended
};

// Feeds the regions in address order, as the query reports them, until the
// list is used up (a failed query) or the walk ends.
template <typename Address>
WalkResult<Address> Walk(const std::vector<Region>& regions) {
  RegionWalk<Address> walk;
  WalkResult<Address> result;
  for (const Region& region : regions) {
    ++result.regionsTaken;
    if (auto run = walk.Take(region.state, region.protect, static_cast<Address>(region.size))) {
      result.runs.push_back(*run);
    }
    if (walk.Ended()) break;
  }
  result.droppedRun = walk.OpenRun();
  return result;
}

}  // namespace

TEST(RegionRuns, ReadabilityIsCommittedWithoutGuardAndWithAReadRight) {
  struct Case {
    uint32_t state, protect;
    bool readable;
  } cases[] = {
      {kCommit, kReadOnly, true},
      {kCommit, kReadWrite, true},
      {kCommit, 0x08, true},
      {kCommit, kExecuteRead, true},
      {kCommit, 0x40, true},
      {kCommit, 0x80, true},
      {kCommit, kReadWrite | kNoCache, true},
      {kCommit, kReadWrite | 0x400, true},  // PAGE_WRITECOMBINE
      {kCommit, kReadWrite | kGuard, false},
      {kCommit, kNoAccess, false},
      {kCommit, kExecute, false},
      {kCommit, 0, false},
      {kReserve, kReadWrite, false},
      {kFree, kNoAccess, false},
      {kFree, kReadWrite, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.readable, IsReadableRegion(c.state, c.protect))
        << std::hex << "state 0x" << c.state << " protect 0x" << c.protect;
  }
}

TEST(RegionRuns, EachUnreadableKindSplitsTwoReadableRegions) {
  const Region splitters[] = {{kCommit, kReadWrite | kGuard, 0x1000},
                              {kCommit, kNoAccess, 0x1000},
                              {kReserve, 0, 0x3000},
                              {kFree, kNoAccess, 0x10000},
                              {kCommit, kExecute, 0x1000}};
  for (const Region& splitter : splitters) {
    const auto result = Walk<uint64_t>({{kFree, kNoAccess, 0x10000},
                                        {kCommit, kReadOnly, 0x2000},
                                        splitter,
                                        {kCommit, kReadWrite, 0x4000},
                                        {kFree, kNoAccess, 0x10000}});
    ASSERT_EQ(2u, result.runs.size()) << "splitter protect 0x" << std::hex << splitter.protect;
    EXPECT_EQ(0x10000u, result.runs[0].start);
    EXPECT_EQ(0x2000u, result.runs[0].length);
    EXPECT_EQ(0x12000u + splitter.size, result.runs[1].start);
    EXPECT_EQ(0x4000u, result.runs[1].length);
  }
}

TEST(RegionRuns, AdjacentReadableRegionsJoinWhateverTheirProtection) {
  // Two allocations back to back, the second with other rights: the query
  // reports separate regions, the walk makes one run of them.
  const auto result = Walk<uint64_t>({{kFree, kNoAccess, 0x10000},
                                      {kCommit, kReadWrite, 0x3000},
                                      {kCommit, kExecuteRead | kNoCache, 0x1000},
                                      {kCommit, kReadOnly, 0x20000},
                                      {kReserve, 0, 0x1000}});
  ASSERT_EQ(1u, result.runs.size());
  EXPECT_EQ(0x10000u, result.runs[0].start);
  EXPECT_EQ(0x24000u, result.runs[0].length);
  EXPECT_EQ("Address 0x10000 - 0x34000", RunTargetText("Address ", result.runs[0]));
}

TEST(RegionRuns, RunStillOpenWhenTheWalkStopsIsDropped) {
  // The query list ends (a failed query) while the last run is open.
  const auto result = Walk<uint64_t>({{kFree, kNoAccess, 0x10000},
                                      {kCommit, kReadOnly, 0x1000},
                                      {kFree, kNoAccess, 0x1000},
                                      {kCommit, kReadWrite, 0x5000}});
  ASSERT_EQ(1u, result.runs.size());
  EXPECT_EQ(0x10000u, result.runs[0].start);
  EXPECT_EQ(0x12000u, result.droppedRun.start);
  EXPECT_EQ(0x5000u, result.droppedRun.length);
}

TEST(RegionRuns, X86WalkEndsAtTwoGibibytesAndDropsTheOpenRun) {
  // 0x7FFE0000 + 0x20000 = 0x80000000, negative as a signed 32-bit address.
  const auto result = Walk<uint32_t>({{kFree, kNoAccess, 0x10000},
                                      {kCommit, kReadWrite, 0x10000},
                                      {kFree, kNoAccess, 0x7FFC0000},
                                      {kCommit, kReadWrite, 0x20000},
                                      {kCommit, kReadWrite, 0x10000},  // above 2 GiB: never taken
                                      {kFree, kNoAccess, 0x10000}});
  EXPECT_EQ(4u, result.regionsTaken);
  ASSERT_EQ(1u, result.runs.size());
  EXPECT_EQ(0x10000u, result.runs[0].start);
  EXPECT_EQ(0x7FFE0000u, result.droppedRun.start);
  EXPECT_EQ(0x20000u, result.droppedRun.length);
}

TEST(RegionRuns, X64WalkGoesOnPastTwoAndFourGibibytes) {
  const auto result = Walk<uint64_t>({{kFree, kNoAccess, 0x7FFF0000},
                                      {kCommit, kReadWrite, 0x20000},  // crosses 2 GiB
                                      {kFree, kNoAccess, 0x7FFF0000},
                                      {kCommit, kReadOnly, 0x1000},  // at 4 GiB
                                      {kFree, kNoAccess, 0x1000}});
  EXPECT_EQ(5u, result.regionsTaken);
  ASSERT_EQ(2u, result.runs.size());
  EXPECT_EQ("Address 0x7FFF0000 - 0x80010000", RunTargetText("Address ", result.runs[0]));
  EXPECT_EQ("Adresse 0x100000000 - 0x100001000", RunTargetText("Adresse ", result.runs[1]));
}

TEST(RegionRuns, X64WalkEndsAtTheFirstNegativeAddress) {
  RegionWalk<uint64_t> walk;
  walk.Take(kFree, kNoAccess, 0x7FFFFFFFFFFF0000ull);
  EXPECT_FALSE(walk.Ended());
  walk.Take(kCommit, kReadWrite, 0xFFFF);
  EXPECT_FALSE(walk.Ended());  // 0x7FFFFFFFFFFFFFFF is still positive
  walk.Take(kCommit, kReadWrite, 1);
  EXPECT_TRUE(walk.Ended());
  EXPECT_EQ(0x8000000000000000ull, walk.QueryAddress());
}

TEST(RegionRuns, WalkEndsWhenTheAddressWouldNotMoveForward) {
  // An empty region would query the same address again forever; a region
  // reaching the top of a 32-bit space would wrap to 0 and start over.
  RegionWalk<uint32_t> empty;
  empty.Take(kFree, kNoAccess, 0x10000);
  empty.Take(kFree, kNoAccess, 0);
  EXPECT_TRUE(empty.Ended());

  RegionWalk<uint64_t> wrapped;
  wrapped.Take(kFree, kNoAccess, 0x10000);
  wrapped.Take(kFree, kNoAccess, ~uint64_t{0} - 0xFFFF);  // ends exactly at 2^64
  EXPECT_TRUE(wrapped.Ended());
}

TEST(RegionRuns, RunsOfFourGibibytesAndMoreKeepTheirWholeLength) {
  // Regions of 3 GiB and 2 GiB: a 32-bit length would hold 1 GiB of them.
  const auto result = Walk<uint64_t>({{kFree, kNoAccess, 0x10000},
                                      {kCommit, kReadWrite, 0xC0000000ull},
                                      {kCommit, kReadOnly, 0x80000000ull},
                                      {kFree, kNoAccess, 0x10000}});
  ASSERT_EQ(1u, result.runs.size());
  EXPECT_EQ(0x140000000ull, result.runs[0].length);
  EXPECT_EQ("Address 0x10000 - 0x140010000", RunTargetText("Address ", result.runs[0]));
}

TEST(RegionRuns, ReadableRegionAtAddressZeroStillOpensItsRun) {
  const auto result = Walk<uint32_t>(
      {{kCommit, kReadOnly, 0x1000}, {kCommit, kReadWrite, 0x1000}, {kFree, kNoAccess, 0x1000}});
  ASSERT_EQ(1u, result.runs.size());
  EXPECT_EQ(0u, result.runs[0].start);
  EXPECT_EQ(0x2000u, result.runs[0].length);
}

TEST(RegionTexts, HexadecimalWithUpperCaseDigitsAndNoLeadingZeros) {
  struct Case {
    uint64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {0xA, "A"},
      {0x10, "10"},
      {0x7FFE0000, "7FFE0000"},
      {0x80000000u, "80000000"},
      {0xFFFFFFFFu, "FFFFFFFF"},
      {0x100000000ull, "100000000"},
      {0x7FFFFFFEFFFFull, "7FFFFFFEFFFF"},
      {0xFFFFFFFFFFFFFFFFull, "FFFFFFFFFFFFFFFF"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, HexText(c.value));
}

TEST(RegionTexts, X86TextsAreThoseOfThirtyTwoBitValues) {
  // A 32-bit address above 2 GiB must not be sign-extended into the text.
  RegionRun<uint32_t> run{0x7FFF0000u, 0x10000u};
  EXPECT_EQ("Address 0x7FFF0000 - 0x80000000", RunTargetText("Address ", run));
  const uint32_t high = 0xFFFE0000u;
  EXPECT_EQ("app.exe -> 0xFFFE0000", RegionProgressText("app.exe", high));
  EXPECT_EQ("C:\\x\\app.exe -> 0x0", RegionProgressText("C:\\x\\app.exe", 0));
}
