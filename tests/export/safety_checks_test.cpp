// The checks made before anything is written: a FAT target too small for a recording's
// file, and a mounted source device.

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include "export/safety_checks.h"

namespace korvelo {
namespace {

constexpr uint64_t kFiveGiB = uint64_t{5} << 30;

FileSystemTypeQuery answering(std::optional<long> type, std::string* askedFolder = nullptr) {
  return [type, askedFolder](const std::string& folder) {
    if (askedFolder) *askedFolder = folder;
    return type;
  };
}

TEST(FileSizeLimit, AFiveGiBRecordingIsRefusedOnFatWithTheFolderAndSizeNamed) {
  std::string asked;
  const std::string problem =
      fileSizeLimitProblem("/media/stick/Filme", kFiveGiB + 1624, answering(kMsdosSuperMagic, &asked));
  EXPECT_EQ(asked, "/media/stick/Filme");
  EXPECT_EQ(problem,
            "Der Zielordner \"/media/stick/Filme\" liegt auf einem FAT-Dateisystem, das keine Datei "
            "ab 4 GiB aufnimmt; die Datei bräuchte 5.368.710.744 Bytes. Bitte einen Ordner auf "
            "einem anderen Dateisystem wählen (etwa ext4, NTFS oder exFAT).");
}

struct LimitCase {
  const char* name;
  uint64_t bytes;
  std::optional<long> type;
  bool refused;
};

class FileSizeLimitCases : public ::testing::TestWithParam<LimitCase> {};

TEST_P(FileSizeLimitCases, RefusesOnlyWhatFatCannotHold) {
  const LimitCase& c = GetParam();
  EXPECT_EQ(!fileSizeLimitProblem("/ziel", c.bytes, answering(c.type)).empty(), c.refused);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileSizeLimitCases,
    ::testing::Values(LimitCase{"LargestFatFile", 0xFFFFFFFFull, kMsdosSuperMagic, false},
                      LimitCase{"OneByteMore", 0x100000000ull, kMsdosSuperMagic, true},
                      LimitCase{"Ext4", kFiveGiB, 0xEF53, false},
                      LimitCase{"QueryFailed", kFiveGiB, std::nullopt, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mountinfo, FieldsAndEscapedBlanksAreRead) {
  const std::vector<Mount> mounts = parseMountinfo(
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "40 22 8:17 / /media/Mein\\040Stick rw - vfat /dev/sdb1 rw\n"
      "kaputt\n");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[1].major, 8u);
  EXPECT_EQ(mounts[1].minor, 17u);
  EXPECT_EQ(mounts[1].mountPoint, "/media/Mein Stick");
}

TEST(Mountinfo, TheDeviceItselfOrItsPartitionsCountAsMounted) {
  const std::vector<Mount> mounts = parseMountinfo(
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 22 8:18 / /mnt/aufnahmen rw - ext4 /dev/sdb2 rw\n"
      "41 22 8:16 / /mnt/ganz rw - ext4 /dev/sdb rw\n");
  // 8:17 and 8:18 are the partitions of 8:16 here.
  const PartitionQuery partitions = [](unsigned major, unsigned minor, unsigned diskMajor,
                                       unsigned diskMinor) {
    return major == diskMajor && diskMinor == 16 && (minor == 17 || minor == 18);
  };
  EXPECT_EQ(mountPointsOf(makedev(8, 16), mounts, partitions),
            (std::vector<std::string>{"/mnt/aufnahmen", "/mnt/ganz"}));
  EXPECT_TRUE(mountPointsOf(makedev(8, 32), mounts, partitions).empty());
}

TEST(Mountinfo, AnImageFileIsNoMountedDevice) {
  EXPECT_EQ(mountedSourceProblem("/proc/self/mountinfo"), "");
}

}  // namespace
}  // namespace korvelo
