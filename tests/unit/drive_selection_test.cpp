// Drive roots from the system's list, and which of them the all-drives walk takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scanners/logic/drive_selection.h"

using namespace tarvex;

namespace {

TEST(DriveSelection, RootsAreReadUpToTheFirstEmptyText) {
  const char list[] = "A:\\\0C:\\\0D:\\\0\0E:\\\0";
  EXPECT_EQ((std::vector<std::string>{"A:\\", "C:\\", "D:\\"}),
            DriveRootsFromList(list, sizeof list));
  EXPECT_TRUE(DriveRootsFromList("\0\0", 2).empty());
  // A list cut by its length ends there, without reading beyond it.
  EXPECT_EQ((std::vector<std::string>{"C:\\", "D:"}), DriveRootsFromList(list + 4, 6));
  EXPECT_TRUE(DriveRootsFromList(list, 0).empty());
}

class TableProbe : public DriveProbe {
 public:
  bool readable = true;
  unsigned type = kDriveFixed;
  int volumeCalls = 0;
  int typeCalls = 0;
  bool IsScannableVolume(const std::string&) override {
    ++volumeCalls;
    return readable;
  }
  unsigned DriveType(const std::string&) override {
    ++typeCalls;
    return type;
  }
};

TEST(DriveSelection, FixedAndRemovableReadableDrivesOtherThanAAndB) {
  struct Case {
    const char* root;
    bool readable;
    unsigned type;
    bool taken;
    int typeCalls;
  } cases[] = {
      {"C:\\", true, kDriveFixed, true, 1},
      {"E:\\", true, kDriveRemovable, true, 1},
      {"E:\\", false, kDriveRemovable, false, 0},  // no medium: type never asked
      {"D:\\", true, 5, false, 1},                 // optical
      {"N:\\", true, 4, false, 1},                 // network
      {"R:\\", true, 6, false, 1},                 // RAM disk
      {"U:\\", true, 0, false, 1},                 // unknown
      {"X:\\", true, 1, false, 1},                 // no root directory
      {"A:\\", true, kDriveRemovable, false, 1},
      {"B:\\", true, kDriveFixed, false, 1},
      {"a:\\", true, kDriveRemovable, false, 1},
      {"b:\\", true, kDriveRemovable, false, 1},
  };
  for (const Case& c : cases) {
    TableProbe probe;
    probe.readable = c.readable;
    probe.type = c.type;
    EXPECT_EQ(c.taken, IsDriveTaken(c.root, probe)) << c.root << " type " << c.type;
    EXPECT_EQ(1, probe.volumeCalls) << c.root;
    EXPECT_EQ(c.typeCalls, probe.typeCalls) << c.root;
  }
}

}  // namespace
