// Raw volume names and the cross-check of a volume's geometry.
#include "volume_identity.h"

namespace tarvex {
namespace {

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsDriveRoot(const std::u16string& path) {
  return path.size() == 3 && IsDriveLetter(path[0]) && path[1] == u':' && path[2] == u'\\';
}

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::optional<std::u16string> RawVolumeName(const std::u16string& volumePath) {
  const std::u16string literal = u"\\\\?\\";
  if (IsDriveRoot(volumePath)) return u"\\\\.\\" + volumePath.substr(0, 2);
  if (!StartsWith(volumePath, literal)) return std::nullopt;
  const std::u16string rest = volumePath.substr(literal.size());
  if (IsDriveRoot(rest)) return u"\\\\.\\" + rest.substr(0, 2);
  // "Volume{" 36-character GUID "}\"
  const std::u16string volume = u"Volume{";
  if (StartsWith(rest, volume) && rest.size() == volume.size() + 36 + 2 &&
      rest[rest.size() - 2] == u'}' && rest.back() == u'\\') {
    return volumePath.substr(0, volumePath.size() - 1);
  }
  return std::nullopt;
}

bool VolumeAccountsAgree(const NtfsGeometry& bootSector, const FileSystemVolumeData& fileSystem,
                         uint32_t folderVolumeSerialNumber) {
  return fileSystem.sectorLength == bootSector.sectorLength &&
         fileSystem.clusterLength == bootSector.clusterLength &&
         fileSystem.recordLength == bootSector.recordLength &&
         fileSystem.mftCluster == bootSector.mftCluster &&
         fileSystem.mftMirrorCluster == bootSector.mftMirrorCluster &&
         static_cast<uint32_t>(fileSystem.volumeSerialNumber) == folderVolumeSerialNumber;
}

}  // namespace tarvex
