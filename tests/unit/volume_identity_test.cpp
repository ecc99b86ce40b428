// Raw volume names of volume paths, and the cross-check of the file system's
// account of a volume against its boot sector.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "scanners/logic/volume_identity.h"

using namespace tarvex;

namespace {

TEST(VolumeIdentity, RawVolumeNameOfEachKindOfVolumePath) {
  const std::u16string guid = u"Volume{4c1b02c1-d990-11dc-99ae-806e6f6e6963}";
  struct Case {
    std::u16string volumePath;
    std::optional<std::u16string> raw;
  } cases[] = {
      {u"C:\\", u"\\\\.\\C:"},
      {u"d:\\", u"\\\\.\\d:"},
      {u"\\\\?\\D:\\", u"\\\\.\\D:"},
      {u"\\\\?\\" + guid + u"\\", u"\\\\?\\" + guid},
      // A folder a volume is mounted on: the caller asks for its volume name.
      {u"C:\\mnt\\data\\", std::nullopt},
      {u"\\\\?\\C:\\mnt\\data\\", std::nullopt},
      // Network shares and the like have no raw volume.
      {u"\\\\server\\share\\", std::nullopt},
      {u"\\\\?\\UNC\\server\\share\\", std::nullopt},
      {u"\\\\?\\Volume{short}\\", std::nullopt},
      {u"\\\\?\\" + guid, std::nullopt},  // without its backslash it is no volume path
      {u"C:", std::nullopt},
      {u"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.raw, RawVolumeName(c.volumePath))
        << std::string(c.volumePath.begin(), c.volumePath.end());
  }
}

TEST(VolumeIdentity, EveryFieldOfTheFileSystemsAccountMustAgree) {
  NtfsGeometry boot;
  boot.sectorLength = 512;
  boot.clusterLength = 4096;
  boot.recordLength = 1024;
  boot.mftCluster = 786432;
  boot.mftMirrorCluster = 2;
  FileSystemVolumeData same;
  same.volumeSerialNumber = 0x3E8A9F7E8A9F2F4Bull;
  same.sectorLength = 512;
  same.clusterLength = 4096;
  same.recordLength = 1024;
  same.mftCluster = 786432;
  same.mftMirrorCluster = 2;
  // The folder's 32-bit serial is the low half of the volume's.
  EXPECT_TRUE(VolumeAccountsAgree(boot, same, 0x8A9F2F4Bu));
  EXPECT_FALSE(VolumeAccountsAgree(boot, same, 0x3E8A9F7Eu));

  struct Case {
    const char* what;
    void (*change)(FileSystemVolumeData&);
  } cases[] = {
      {"sector", [](FileSystemVolumeData& d) { d.sectorLength = 4096; }},
      {"cluster", [](FileSystemVolumeData& d) { d.clusterLength = 512; }},
      {"record", [](FileSystemVolumeData& d) { d.recordLength = 4096; }},
      {"mft", [](FileSystemVolumeData& d) { d.mftCluster = 4; }},
      {"mirror", [](FileSystemVolumeData& d) { d.mftMirrorCluster = 3; }},
      {"serial", [](FileSystemVolumeData& d) { d.volumeSerialNumber = 0x3E8A9F7E00000001ull; }},
  };
  for (const Case& c : cases) {
    FileSystemVolumeData other = same;
    c.change(other);
    EXPECT_FALSE(VolumeAccountsAgree(boot, other, 0x8A9F2F4Bu)) << c.what;
  }
}

}  // namespace
