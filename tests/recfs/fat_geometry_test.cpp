// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/fat_geometry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "recfs/recfs_fixture.h"
#include "recfs/status_text.h"
#include "support/file_util.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

using test::statusLines;

class CalcFatTest : public ::testing::Test {
 protected:
  // An image file of exactly `bytes` bytes, installed as drive "0".
  void useImageOf(int64_t bytes) {
    const std::string path = dir.file("disk.img");
    test::createSparseFile(path, bytes);
    drives.emplace(std::vector<std::string>{path});
  }
  test::TempDir dir;
  std::optional<test::ScopedTestDrives> drives;
};

TEST_F(CalcFatTest, ReportsThe160GigabyteDisk) {
  useImageOf(160039272960);
  setStatus("earlier");
  EXPECT_EQ(calcFAT('0'), 72);
  const std::vector<std::string> expected = {
      "calcFAT::IOCTL_DISK_GET_DRIVE_GEOMETRY, sectors on disk: 312576705",
      "calcFAT::IOCTL_DISK_GET_DRIVE_GEOMETRY, Cylinders: 19457",
      "calcFAT::IOCTL_DISK_GET_DRIVE_GEOMETRY, Tracks p.c.: 255",
      "calcFAT::IOCTL_DISK_GET_DRIVE_GEOMETRY, Sectors p.t.: 63",
      "calcFAT::Gesamtanzahl der Sektoren (19457c 255h 63s): 312.576.705",
      "calcFAT::Plattengröße: 160.039.272.960 Byte = c.a. 149 Gigabyte",
      "calcFAT::Platz für FAT und HAVs: 305.914.001 Sektoren",
      "calcFAT::Platz / SpHOJIN / HOJINpBlock = max. 294.148 Blöcke",
      "calcFAT::Für Blöcke gebrauchte FAT-Sektoren: 72 Sektoren",
      "calcFAT::Gesamt FAT Größe: 144.072 Sektoren",
      "calcFAT::Addierte Größe: 312.720.696 Sektoren",
  };
  EXPECT_EQ(statusLines(), expected);
  EXPECT_NE(statusText().back(), '\n');
}

TEST_F(CalcFatTest, Estimates114For30401Cylinders) {
  useImageOf(int64_t{30401} * 255 * 63 * 512);
  EXPECT_EQ(calcFAT('0'), 114);
  const std::vector<std::string> lines = statusLines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "calcFAT::IOCTL_DISK_GET_DRIVE_GEOMETRY, sectors on disk: 488392065");
  EXPECT_EQ(lines[7], "calcFAT::Platz / SpHOJIN / HOJINpBlock = max. 463.201 Blöcke");
}

TEST_F(CalcFatTest, CountsOnlyWholeCylinders) {
  // One cylinder and a half: the half does not count.
  useImageOf(int64_t{255} * 63 * 512 * 3 / 2);
  calcFAT('0');
  EXPECT_EQ(statusLines().at(1), "calcFAT::IOCTL_DISK_GET_DRIVE_GEOMETRY, Cylinders: 1");
}

TEST_F(CalcFatTest, DiskSmallerThanTheDirectoryArea) {
  // 100 cylinders: 1606500 sectors, far below the FAT area start. Every division
  // truncates toward zero: -5056204 / 65 / 16 = -4861, -4861 / 512 / 8 = -1, plus 1.
  useImageOf(int64_t{100} * 255 * 63 * 512);
  EXPECT_EQ(calcFAT('0'), 0);
  const std::vector<std::string> lines = statusLines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[6], "calcFAT::Platz für FAT und HAVs: -5.056.204 Sektoren");
  EXPECT_EQ(lines[7], "calcFAT::Platz / SpHOJIN / HOJINpBlock = max. -4.861 Blöcke");
  EXPECT_EQ(lines[8], "calcFAT::Für Blöcke gebrauchte FAT-Sektoren: 0 Sektoren");
  EXPECT_EQ(lines[9], "calcFAT::Gesamt FAT Größe: 0 Sektoren");
}

TEST_F(CalcFatTest, SlightlyLargerSmallDiskEstimatesOne) {
  // 200 cylinders: space -3449704, blocks -3317, -3317 / 512 / 8 = 0, plus 1.
  useImageOf(int64_t{200} * 255 * 63 * 512);
  EXPECT_EQ(calcFAT('0'), 1);
  EXPECT_EQ(statusLines().at(9), "calcFAT::Gesamt FAT Größe: 2.001 Sektoren");
}

TEST_F(CalcFatTest, UnopenableDriveGivesMinusOneAndKeepsTheText) {
  drives.emplace(std::vector<DriveSpec>{test::unopenableDrive()});
  setStatus("bleibt");
  EXPECT_EQ(calcFAT('0'), -1);
  EXPECT_EQ(statusText(), "bleibt");
}

TEST_F(CalcFatTest, DriveMissingFromTheTableGivesMinusOne) {
  useImageOf(1 << 20);
  EXPECT_EQ(calcFAT('5'), -1);
}

TEST_F(CalcFatTest, MediumThatIsNoDiskGivesZeroAndKeepsTheText) {
  auto disk = std::make_shared<test::MemoryDisk>(int64_t{700} << 20, MediaKind::NotADisk);
  drives.emplace(std::vector<DriveSpec>{test::memoryDrive(disk)});
  setStatus("bleibt");
  EXPECT_EQ(calcFAT('0'), 0);
  EXPECT_EQ(statusText(), "bleibt");
  EXPECT_EQ(disk->readCalls(), 0);
}

TEST_F(CalcFatTest, RemovableDiskIsEstimatedLikeAFixedOne) {
  auto disk = std::make_shared<test::MemoryDisk>(160039272960, MediaKind::Removable);
  drives.emplace(std::vector<DriveSpec>{test::memoryDrive(disk)});
  EXPECT_EQ(calcFAT('0'), 72);
  EXPECT_EQ(disk->readCalls(), 0);
}

// A disk whose size query the device refuses.
class SizelessSource final : public ByteSource {
 public:
  int64_t readAt(int64_t, std::span<uint8_t>) override { return -EIO; }
  MediaInfo mediaInfo() const override { return {MediaKind::Fixed, 512, -1}; }
};

TEST_F(CalcFatTest, RefusedSizeQueryGivesZeroAndKeepsTheText) {
  DriveSpec driveSpec;
  driveSpec.path = "sizeless";
  driveSpec.factory = [] { return std::make_unique<SizelessSource>(); };
  drives.emplace(std::vector<DriveSpec>{driveSpec});
  setStatus("bleibt");
  EXPECT_EQ(calcFAT('0'), 0);
  EXPECT_EQ(statusText(), "bleibt");
}

}  // namespace
}  // namespace korvelo
