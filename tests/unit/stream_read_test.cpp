// The stream reader's plan for a size, the read in pieces of a 32-bit count
// and the texts of a short read.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "scanners/logic/stream_read.h"

using namespace tarvex;

namespace {

TEST(StreamRead, PlanForEverySize) {
  const uint64_t k32BitMax = 0xFFFFFFFFu;  // SIZE_MAX of the x86 build
  const uint64_t k64BitMax = UINT64_MAX;
  struct Case {
    uint64_t size;
    uint64_t maxBuffer;
    ContentPlan plan;
  } cases[] = {
      {0, k64BitMax, ContentPlan::NoData},
      {0, k32BitMax, ContentPlan::NoData},
      {1, k32BitMax, ContentPlan::Read},
      {0x80000000ULL, k32BitMax, ContentPlan::Read},  // 2 GiB: the allocation decides
      {0xFFFFFFFFULL, k32BitMax, ContentPlan::Read},
      // 4 GiB and more cannot be sized in the x86 build: never cut to the low 32 bits.
      {0x100000000ULL, k32BitMax, ContentPlan::TooLarge},
      {0x100000010ULL, k32BitMax, ContentPlan::TooLarge},
      {0x100000010ULL, k64BitMax, ContentPlan::Read},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.plan, PlanStreamContent(c.size, c.maxBuffer)) << c.size;
  }
}

struct Request {
  uint64_t offset;
  uint32_t length;
};

// A stream of `available` bytes read in requests; fails with failError at
// request number failAt (0-based) when failAt >= 0.
struct FakeStream {
  uint64_t available;
  int failAt = -1;
  uint32_t failError = 0;
  std::vector<Request> requests;

  ReadOutcome Read(uint64_t size, uint32_t maxPiece) {
    return ReadInPieces(
        size, maxPiece,
        [this](uint64_t offset, uint32_t length, uint32_t* delivered, uint32_t* error) {
          requests.push_back({offset, length});
          if (static_cast<int>(requests.size()) - 1 == failAt) {
            *delivered = 0;
            *error = failError;
            return false;
          }
          const uint64_t left = offset < available ? available - offset : 0;
          *delivered = static_cast<uint32_t>(left < length ? left : length);
          *error = 0;
          return true;
        });
  }
};

TEST(StreamRead, StreamsOf2GiBAndMoreAreReadWholeInPieces) {
  const uint64_t size = 5ULL * 1024 * 1024 * 1024 + 17;  // 5 GiB + 17
  FakeStream stream{size, -1, 0, {}};
  const ReadOutcome outcome = stream.Read(size, kReadPieceMaxLength);
  EXPECT_EQ(size, outcome.deliveredLength);
  EXPECT_EQ(0u, outcome.lastError);
  ASSERT_EQ(6u, stream.requests.size());
  uint64_t expectedOffset = 0;
  for (const Request& r : stream.requests) {
    EXPECT_EQ(expectedOffset, r.offset);
    EXPECT_LE(r.length, kReadPieceMaxLength);
    expectedOffset += r.length;
  }
  EXPECT_EQ(17u, stream.requests.back().length);
}

TEST(StreamRead, ShortAndFailedReadsAreReportedAsSuch) {
  struct Case {
    const char* what;
    uint64_t size;
    uint32_t maxPiece;
    uint64_t available;
    int failAt;
    uint32_t failError;
    uint64_t delivered;
    uint32_t lastError;
    size_t requests;
  } cases[] = {
      {"whole in one piece", 1000, 4096, 1000, -1, 0, 1000, 0, 1},
      {"stream shorter than its size", 1000, 4096, 600, -1, 0, 600, 0, 2},
      {"nothing to read", 1000, 4096, 0, -1, 0, 0, 0, 1},
      {"first read fails", 1000, 4096, 1000, 0, 5, 0, 5, 1},
      {"second piece fails", 250, 100, 250, 1, 33, 100, 33, 2},
      {"ends early after whole pieces", 250, 100, 200, -1, 0, 200, 0, 3},
  };
  for (const Case& c : cases) {
    FakeStream stream{c.available, c.failAt, c.failError, {}};
    const ReadOutcome outcome = stream.Read(c.size, c.maxPiece);
    EXPECT_EQ(c.delivered, outcome.deliveredLength) << c.what;
    EXPECT_EQ(c.lastError, outcome.lastError) << c.what;
    EXPECT_EQ(c.requests, stream.requests.size()) << c.what;
  }
}

TEST(StreamRead, AShortReadNamesItsErrorAndHowMuchWasRead) {
  EXPECT_EQ(kErrorHandleEof, ShortReadError(0));
  EXPECT_EQ(23u, ShortReadError(23));
  EXPECT_EQ("ReadFile -> Reached the end of the file. (600/1000)",
            ShortReadMessage("Reached the end of the file. ", 600, 1000));
  EXPECT_EQ("ReadFile -> Data error. (0/6442450944)",
            ShortReadMessage("Data error.", 0, 6442450944ULL));
}

}  // namespace
