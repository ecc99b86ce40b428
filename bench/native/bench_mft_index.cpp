// Native benchmark of the master-file-table index: builds the index of an NTFS
// image again and again and reports records parsed per second of CPU, next to
// the floor of only copying the same $MFT bytes through the same callback.
//   bench_mft_index IMAGE [rounds]
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "mft_stream_index.h"

namespace {

double CpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_mft_index IMAGE [rounds]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 10;
  const int fd = open(argv[1], O_RDONLY);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  const size_t imageLength = static_cast<size_t>(info.st_size);
  void* mapping = mmap(nullptr, imageLength, PROT_READ, MAP_PRIVATE, fd, 0);
  if (mapping == MAP_FAILED) {
    std::perror("mmap");
    return 1;
  }
  const auto* image = static_cast<const unsigned char*>(mapping);
  // The volume as a raw volume handle would give it, from memory (page cache).
  const tarvex::VolumeReadAt readAt = [&](uint64_t offset, unsigned char* buffer, size_t length) {
    if (offset >= imageLength) return size_t{0};
    const size_t count = std::min<size_t>(length, imageLength - offset);
    std::memcpy(buffer, image + offset, count);
    return count;
  };

  tarvex::MftStreamIndex index;
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const double start = CpuSeconds();
    const auto result = tarvex::BuildMftStreamIndex(readAt, {}, &index);
    const double spent = CpuSeconds() - start;
    if (result.status != tarvex::MftIndexStatus::kBuilt) {
      std::fprintf(stderr, "index not built: status %d\n", static_cast<int>(result.status));
      return 1;
    }
    best = std::min(best, spent);
  }
  const uint64_t recordCount = index.Counts().recordCount;

  // Floor: the same chunks of $MFT copied through the callback, nothing parsed.
  tarvex::MftVolume volume(readAt);
  if (volume.Open() != tarvex::MftOpenStatus::kOpened) return 1;
  const uint32_t recordLength = volume.Geometry().recordLength;
  const size_t chunkRecords = (1u << 20) / recordLength;
  tarvex::AlignedBuffer chunk(chunkRecords * recordLength);
  std::vector<unsigned char> readable;
  double floor = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const double start = CpuSeconds();
    for (uint64_t first = 0; first < recordCount; first += chunkRecords) {
      volume.ReadRecordSpan(first, std::min<uint64_t>(chunkRecords, recordCount - first),
                            chunk.Data(), &readable);
    }
    floor = std::min(floor, CpuSeconds() - start);
  }

  size_t streamCount = 0;
  for (const auto& file : index.Files()) streamCount += file.streams.size();
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("records in $MFT:            %llu (%u bytes each)\n",
              static_cast<unsigned long long>(recordCount), recordLength);
  std::printf("files and folders known:    %llu\n",
              static_cast<unsigned long long>(index.Counts().knownCount));
  std::printf("files with named streams:   %zu (%zu streams)\n", index.Files().size(), streamCount);
  std::printf("folder records read after:  %llu\n",
              static_cast<unsigned long long>(index.Counts().folderRecordReads));
  std::printf("index build, best of %d:    %.2f ms CPU = %.2f million records/s\n", rounds,
              best * 1e3, static_cast<double>(recordCount) / best / 1e6);
  std::printf("floor (copy $MFT only):     %.2f ms CPU; build / floor = %.2f\n", floor * 1e3,
              best / floor);
  const size_t perRecord = recordCount * sizeof(uint16_t);
  std::printf(
      "index memory:               %zu bytes: %zu for the sequence numbers (2 per record),\n"
      "                            %zu for the stream files and their folders' names\n",
      index.MemoryLength(), perRecord, index.MemoryLength() - perRecord);
  std::printf("peak resident set:          %ld KiB (the image is mapped, not counted as heap)\n",
              usage.ru_maxrss);
  munmap(mapping, imageLength);
  close(fd);
  return 0;
}
