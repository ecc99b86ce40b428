// Boot sector, $MFT bootstrap and aligned record reads.
#include "mft_volume.h"

#include <algorithm>
#include <cstring>

namespace tarvex {
namespace {

constexpr uint64_t kMftMinRecordCount = kFirstUserRecord;

// The runs of $MFT: one after another from VCN 0, real clusters inside the
// volume, no cluster mapped twice (which would let a forged map make the
// reader go over the same bytes without end).
bool IsSoundMftMap(const std::vector<DataRun>& runs, uint64_t clusterCount) {
  if (runs.empty()) return false;
  uint64_t vcn = 0;
  for (const DataRun& run : runs) {
    if (run.sparse || run.vcn != vcn || run.lcn > clusterCount ||
        run.clusterCount > clusterCount - run.lcn) {
      return false;
    }
    vcn += run.clusterCount;
  }
  std::vector<DataRun> byCluster = runs;
  std::sort(byCluster.begin(), byCluster.end(),
            [](const DataRun& a, const DataRun& b) { return a.lcn < b.lcn; });
  for (size_t i = 1; i < byCluster.size(); ++i) {
    if (byCluster[i - 1].lcn + byCluster[i - 1].clusterCount > byCluster[i].lcn) return false;
  }
  return true;
}

}  // namespace

void AlignedBuffer::Resize(size_t length) {
  if (length == length_ && !storage_.empty()) return;
  storage_.assign(length + kBufferAlignment, 0);
  const auto address = reinterpret_cast<uintptr_t>(storage_.data());
  shift_ = (kBufferAlignment - address % kBufferAlignment) % kBufferAlignment;
  length_ = length;
}

MftOpenStatus MftVolume::Open() {
  format_ = VolumeFormat::kUnknown;
  runs_.clear();
  recordCount_ = 0;
  AlignedBuffer boot(kBootReadLength);
  const size_t bootLength = readAt_(0, boot.Data(), kBootReadLength);
  if (bootLength < 512 || bootLength > kBootReadLength) return MftOpenStatus::kBootUnreadable;
  format_ = RecognizeVolumeFormat(boot.Data(), bootLength);
  if (format_ != VolumeFormat::kNtfs) return MftOpenStatus::kNotNtfs;
  if (!ReadNtfsGeometry(boot.Data(), bootLength, &geometry_)) return MftOpenStatus::kBadBootSector;
  usedMirror_ = false;
  if (LoadMftMap(geometry_.mftCluster)) return MftOpenStatus::kOpened;
  usedMirror_ = true;
  if (LoadMftMap(geometry_.mftMirrorCluster)) return MftOpenStatus::kOpened;
  runs_.clear();
  return MftOpenStatus::kMftUnreadable;
}

bool MftVolume::LoadMftMap(uint64_t recordZeroCluster) {
  runs_.clear();
  const uint32_t recordLength = geometry_.recordLength;
  AlignedBuffer record(recordLength);
  if (readAt_(recordZeroCluster * geometry_.clusterLength, record.Data(), recordLength) !=
      recordLength) {
    return false;
  }
  RecordHeader header;
  if (!ApplyRecordFixups(record.Data(), recordLength) ||
      !ReadRecordHeader(record.Data(), recordLength, &header) || !header.InUse() ||
      header.baseReference != 0 || (header.hasRecordNumber && header.recordNumber != 0)) {
    return false;
  }
  std::vector<AttributeView> pieces;
  AttributeView list;
  bool hasList = false;
  AttributeWalk walk(record.Data(), header);
  AttributeView attribute;
  while (walk.Next(&attribute)) {
    if (attribute.type == kDataAttribute && attribute.nameChars == 0) {
      if (!attribute.nonResident) return false;
      pieces.push_back(attribute);
    } else if (attribute.type == kAttributeList) {
      if (hasList) return false;
      hasList = true;
      list = attribute;
    }
  }
  if (walk.Malformed() || pieces.empty()) return false;
  std::sort(pieces.begin(), pieces.end(), [](const AttributeView& a, const AttributeView& b) {
    return a.lowestVcn < b.lowestVcn;
  });
  if (pieces.front().lowestVcn != 0) return false;
  const uint64_t dataLength = pieces.front().dataLength;
  std::vector<DataRun> runs;
  uint64_t endVcn = 0;
  for (const AttributeView& piece : pieces) {
    if (piece.lowestVcn != endVcn || !DecodeDataRuns(piece, &runs)) return false;
    endVcn = piece.highestVcn + 1;
  }
  if (hasList) {
    // Later pieces of $DATA live in extension records, which are read through
    // the part of the map known so far.
    std::vector<unsigned char> listBytes;
    if (!list.nonResident) {
      listBytes.assign(list.value, list.value + list.valueLength);
    } else {
      std::vector<DataRun> listRuns;
      if (list.lowestVcn != 0 || list.dataLength > kAttributeListMaxLength ||
          !DecodeDataRuns(list, &listRuns) ||
          !ReadAttributeBytes(listRuns, list.dataLength, &listBytes)) {
        return false;
      }
    }
    const uint64_t baseReference = MakeFileReference(0, header.sequenceNumber);
    AttributeListWalk entries(listBytes.data(), listBytes.size());
    AttributeListEntry entry;
    AlignedBuffer extension(recordLength);
    while (entries.Next(&entry)) {
      if (entry.type != kDataAttribute || entry.nameChars != 0 || entry.lowestVcn < endVcn) {
        continue;
      }
      const uint64_t segment = RecordNumberOf(entry.segmentReference);
      if (entry.lowestVcn > endVcn || segment == 0) return false;
      runs_ = runs;
      RecordHeader extensionHeader;
      if (!ReadMftRecordWithRuns(segment, &extension) ||
          !ReadRecordHeader(extension.Data(), recordLength, &extensionHeader) ||
          !extensionHeader.InUse() || extensionHeader.baseReference != baseReference ||
          extensionHeader.sequenceNumber != SequenceNumberOf(entry.segmentReference)) {
        return false;
      }
      AttributeWalk extensionWalk(extension.Data(), extensionHeader);
      bool found = false;
      while (!found && extensionWalk.Next(&attribute)) {
        if (attribute.type == kDataAttribute && attribute.nameChars == 0 && attribute.nonResident &&
            attribute.lowestVcn == entry.lowestVcn) {
          if (!DecodeDataRuns(attribute, &runs)) return false;
          endVcn = attribute.highestVcn + 1;
          found = true;
        }
      }
      if (!found) return false;
    }
    if (entries.Malformed()) return false;
  }
  if (!IsSoundMftMap(runs, geometry_.clusterCount)) {
    runs_.clear();
    return false;
  }
  const uint64_t mappedLength =
      endVcn * geometry_.clusterLength;  // inside the volume, so no overflow
  if (dataLength > mappedLength || dataLength > geometry_.volumeLength) {
    runs_.clear();
    return false;
  }
  const uint64_t recordCount = dataLength / recordLength;
  if (recordCount < kMftMinRecordCount || recordCount > kMftMaxRecordCount) {
    runs_.clear();
    return false;
  }
  runs_ = std::move(runs);
  recordCount_ = recordCount;
  mftSequenceNumber_ = header.sequenceNumber;
  return true;
}

bool MftVolume::ReadMftBytes(uint64_t mftOffset, size_t length, unsigned char* buffer) {
  const uint64_t clusterLength = geometry_.clusterLength;
  size_t done = 0;
  while (done < length) {
    const uint64_t offset = mftOffset + done;
    const uint64_t vcn = offset / clusterLength;
    const uint64_t within = offset % clusterLength;
    auto after = std::upper_bound(runs_.begin(), runs_.end(), vcn,
                                  [](uint64_t v, const DataRun& run) { return v < run.vcn; });
    if (after == runs_.begin()) return false;
    const DataRun& run = *(after - 1);
    if (run.vcn + run.clusterCount <= vcn || run.sparse) return false;
    const uint64_t clustersLeft = run.vcn + run.clusterCount - vcn;
    const uint64_t lcn = run.lcn + (vcn - run.vcn);
    if (lcn >= geometry_.clusterCount) return false;
    size_t piece = length - done;
    if (clustersLeft <= piece / clusterLength + 1) {
      piece = std::min<uint64_t>(piece, clustersLeft * clusterLength - within);
    }
    if (readAt_(lcn * clusterLength + within, buffer + done, piece) != piece) return false;
    done += piece;
  }
  return true;
}

bool MftVolume::ReadMftRecordWithRuns(uint64_t recordNumber, AlignedBuffer* buffer) {
  const uint32_t recordLength = geometry_.recordLength;
  buffer->Resize(recordLength);
  if (recordNumber > (UINT64_MAX / recordLength)) return false;
  return ReadMftBytes(recordNumber * recordLength, recordLength, buffer->Data()) &&
         ApplyRecordFixups(buffer->Data(), recordLength);
}

void MftVolume::ReadRecordSpan(uint64_t firstRecord, size_t recordCount, unsigned char* buffer,
                               std::vector<unsigned char>* readable) {
  const uint32_t recordLength = geometry_.recordLength;
  readable->assign(recordCount, 0);
  if (firstRecord >= recordCount_ || recordCount > recordCount_ - firstRecord) return;
  if (ReadMftBytes(firstRecord * recordLength, recordCount * recordLength, buffer)) {
    readable->assign(recordCount, 1);
    return;
  }
  for (size_t i = 0; i < recordCount; ++i) {
    (*readable)[i] =
        ReadMftBytes((firstRecord + i) * recordLength, recordLength, buffer + i * recordLength) ? 1
                                                                                                : 0;
  }
}

bool MftVolume::ReadRecord(uint64_t recordNumber, std::vector<unsigned char>* record) {
  if (recordNumber >= recordCount_) return false;
  if (!ReadMftRecordWithRuns(recordNumber, &scratch_)) return false;
  record->assign(scratch_.Data(), scratch_.Data() + geometry_.recordLength);
  return true;
}

bool MftVolume::ReadAttributeBytes(const std::vector<DataRun>& runs, uint64_t length,
                                   std::vector<unsigned char>* bytes) {
  const uint64_t clusterLength = geometry_.clusterLength;
  if (length > geometry_.volumeLength) return false;
  const uint64_t clustersNeeded = (length + clusterLength - 1) / clusterLength;
  AlignedBuffer buffer(clustersNeeded * clusterLength);
  uint64_t clustersDone = 0;
  for (const DataRun& run : runs) {
    if (clustersDone >= clustersNeeded) break;
    if (run.vcn != clustersDone) return false;
    const uint64_t count = std::min(run.clusterCount, clustersNeeded - clustersDone);
    unsigned char* target = buffer.Data() + clustersDone * clusterLength;
    if (run.sparse) {
      std::memset(target, 0, count * clusterLength);
    } else {
      if (run.lcn > geometry_.clusterCount || count > geometry_.clusterCount - run.lcn)
        return false;
      const size_t pieceLength = count * clusterLength;
      if (readAt_(run.lcn * clusterLength, target, pieceLength) != pieceLength) return false;
    }
    clustersDone += count;
  }
  if (clustersDone < clustersNeeded) return false;
  bytes->assign(buffer.Data(), buffer.Data() + length);
  return true;
}

}  // namespace tarvex
