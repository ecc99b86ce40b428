// Fuzz target: the master file table of a volume (untrusted: any disk the
// scanner walks, a stick from anywhere included). The input is a sparse
// volume, extents of (offset: u64, length: u32, bytes) one after the other, as
// fuzz/make_mft_seeds.py cuts them from the ntfs-3g test images; every byte
// outside them reads as zero, up to the end of a 16 MiB volume.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "mft_stream_index.h"

namespace {

constexpr uint64_t kVolumeLength = 16u << 20;

struct Extent {
  uint64_t offset;
  const uint8_t* bytes;
  size_t length;
};

std::vector<Extent> ReadExtents(const uint8_t* data, size_t size) {
  std::vector<Extent> extents;
  size_t at = 0;
  while (size - at >= 12) {
    uint64_t offset = 0;
    uint32_t length = 0;
    std::memcpy(&offset, data + at, 8);
    std::memcpy(&length, data + at + 8, 4);
    at += 12;
    const size_t taken = length < size - at ? length : size - at;
    extents.push_back({offset, data + at, taken});
    at += taken;
  }
  return extents;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<Extent> extents = ReadExtents(data, size);
  size_t readCount = 0;
  const tarvex::VolumeReadAt readAt = [&](uint64_t offset, unsigned char* buffer, size_t length) {
    // The reader's promise to a raw volume handle: sector-aligned offsets,
    // lengths and buffers; the boot sector read at 0 in a page-aligned buffer.
    const uintptr_t address = reinterpret_cast<uintptr_t>(buffer);
    if (readCount++ == 0) {
      FUZZ_CHECK(offset == 0 && length == tarvex::kBootReadLength && address % 4096 == 0);
    }
    FUZZ_CHECK(offset % 512 == 0 && length % 512 == 0 && address % 512 == 0 && length > 0);
    if (offset >= kVolumeLength) return size_t{0};
    const size_t count =
        static_cast<size_t>(length < kVolumeLength - offset ? length : kVolumeLength - offset);
    std::memset(buffer, 0, count);
    for (const Extent& extent : extents) {
      if (extent.offset >= offset + count || offset >= extent.offset + extent.length ||
          extent.offset > UINT64_MAX - extent.length) {
        continue;
      }
      const uint64_t from = extent.offset > offset ? extent.offset : offset;
      const uint64_t to = extent.offset + extent.length < offset + count
                              ? extent.offset + extent.length
                              : offset + count;
      std::memcpy(buffer + (from - offset), extent.bytes + (from - extent.offset), to - from);
    }
    return count;
  };

  // Small chunks: more chunk ends inside the fuzzed $MFT, and quicker runs.
  tarvex::MftIndexOptions options;
  options.chunkLength = 64u << 10;
  tarvex::MftStreamIndex index;
  const tarvex::MftIndexResult result = tarvex::BuildMftStreamIndex(readAt, options, &index);
  if (result.status != tarvex::MftIndexStatus::kBuilt) {
    FUZZ_CHECK(index.Files().empty());
    return 0;
  }
  // One file read alone agrees with the index; any record read alone is safe.
  tarvex::MftVolume volume(readAt);
  FUZZ_CHECK(volume.Open() == tarvex::MftOpenStatus::kOpened);
  for (uint64_t record = 0; record < 32 && record < volume.RecordCount(); ++record) {
    tarvex::MftStreamFile single;
    if (tarvex::ReadMftStreamFile(volume, tarvex::MakeFileReference(record, 1), &single) ==
        tarvex::MftLookup::kStreams) {
      FUZZ_CHECK(!single.streams.empty());
    }
  }
  uint64_t previous = 0;
  bool first = true;
  for (const tarvex::MftStreamFile& file : index.Files()) {
    FUZZ_CHECK(first || file.recordNumber > previous);
    first = false;
    previous = file.recordNumber;
    FUZZ_CHECK(file.recordNumber < index.Counts().recordCount);
    FUZZ_CHECK(!file.streams.empty());
    const tarvex::MftStreamFile* found = nullptr;
    FUZZ_CHECK(index.Find(file.FileReference(), &found) == tarvex::MftLookup::kStreams);
    FUZZ_CHECK(found == &file);
    tarvex::MftStreamFile single;
    FUZZ_CHECK(tarvex::ReadMftStreamFile(volume, file.FileReference(), &single) ==
               tarvex::MftLookup::kStreams);
    FUZZ_CHECK(single.streams.size() == file.streams.size());
    for (size_t i = 0; i < file.streams.size(); ++i) {
      FUZZ_CHECK(single.streams[i].name == file.streams[i].name);
      FUZZ_CHECK(single.streams[i].length == file.streams[i].length);
      FUZZ_CHECK(single.streams[i].flags == file.streams[i].flags);
    }
    FUZZ_CHECK(single.links.size() == file.links.size());
    for (const tarvex::MftStream& stream : file.streams) FUZZ_CHECK(stream.name.size() <= 255);
    for (const tarvex::MftLink& link : file.links) FUZZ_CHECK(link.name.size() <= 255);
    for (const std::u16string& path : index.PathsOf(file)) {
      FUZZ_CHECK(!path.empty() && path[0] == u'\\');
      FUZZ_CHECK(path.size() <= (tarvex::kMaxPathDepth + 1) * 256);
    }
  }
  return 0;
}
