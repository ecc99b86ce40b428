// Fuzz target: the stream list a file system hands back (untrusted: any volume
// the scanner walks) and the name rules applied to each record.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "stream_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto records = tarvex::ReadStreamRecords(data, size);
  // Every record's name came from inside the buffer. (Records of a malformed
  // list may overlap, so their names together can exceed it.)
  for (const auto& record : records) {
    FUZZ_CHECK(record.name.size() * 2 + tarvex::kStreamRecordHeaderLength <= size);
    for (bool folder : {false, true}) {
      const auto suffix = tarvex::StreamPathSuffix(record.name, folder);
      if (suffix) FUZZ_CHECK(suffix->size() <= record.name.size());
    }
  }
  return 0;
}
