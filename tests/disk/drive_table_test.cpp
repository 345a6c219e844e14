// SPDX-License-Identifier: GPL-3.0-or-later
// Which drive a designator names, and the test helpers that the other layers rely on.

#include "disk/drive_table.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "disk/machine_disks.h"
#include "support/file_util.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

TEST(DriveTableTest, PathsTakeTheDigitsInOrderAndAtMostTen) {
  std::vector<std::string> paths;
  for (int i = 0; i < 12; ++i) paths.push_back("/images/d" + std::to_string(i) + ".img");
  test::ScopedTestDrives drives(paths);
  EXPECT_EQ(DriveTable::lookup('0')->path, "/images/d0.img");
  EXPECT_EQ(DriveTable::lookup('9')->path, "/images/d9.img");
  EXPECT_FALSE(DriveTable::lookup('9' + 1));
  EXPECT_FALSE(DriveTable::lookup('A'));
  EXPECT_FALSE(DriveTable::lookup('/'));
}

TEST(DriveTableTest, MachineDisksAreWholeDisksOnly) {
  DriveTable::useMachineDisks();
  for (const std::string& path : DriveTable::machineDisks()) {
    SCOPED_TRACE(path);
    EXPECT_EQ(path.rfind("/dev/", 0), 0u);
    for (const char* excluded : {"loop", "ram", "zram", "sr", "dm-", "md"}) {
      EXPECT_NE(path.rfind(std::string("/dev/") + excluded, 0), 0u);
    }
  }
  const std::vector<std::string> disks = DriveTable::machineDisks();
  if (!disks.empty()) {
    EXPECT_EQ(DriveTable::lookup('0')->path, disks.front());
  }
}

// udev and /sys/block must agree on the disks and their order, or a designator would
// name another disk depending on whether udev runs.
TEST(DriveTableTest, UdevAndSysfsListTheSameDisksInTheSameOrder) {
  const std::vector<MachineDisk> viaUdev = listMachineDisks(DiskCatalog::udev);
  const std::vector<MachineDisk> viaSysfs = listMachineDisks(DiskCatalog::sysfs);
  ASSERT_EQ(viaUdev.size(), viaSysfs.size());
  for (size_t i = 0; i < viaUdev.size(); ++i) {
    SCOPED_TRACE(viaSysfs[i].path);
    EXPECT_EQ(viaUdev[i].path, viaSysfs[i].path);
    EXPECT_EQ(viaUdev[i].sizeBytes, viaSysfs[i].sizeBytes);
    EXPECT_GT(viaSysfs[i].sizeBytes, 0u);
    EXPECT_EQ(viaUdev[i].removable, viaSysfs[i].removable);
    EXPECT_EQ(viaUdev[i].model, viaSysfs[i].model);
  }
  std::vector<std::string> paths;
  for (const MachineDisk& disk : viaSysfs) paths.push_back(disk.path);
  EXPECT_EQ(DriveTable::machineDisks(), paths);
}

TEST(DriveTableTest, MissingMapfileRefusesToOpen) {
  test::TempDir dir;
  const std::string image = dir.file("d.img");
  test::writeFileBytes(image, std::vector<uint8_t>(512, 1));
  test::ScopedTestDrives drives({DriveSpec{image, dir.file("d.map"), {}}});
  int error = 0;
  EXPECT_FALSE(openDriveSource('0', &error));
  EXPECT_EQ(error, ENOENT);
}

TEST(TestSupportTest, Sha256MatchesPublishedValues) {
  EXPECT_EQ(test::sha256Hex({}),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const std::string abc = "abc";
  EXPECT_EQ(test::sha256Hex(std::span(reinterpret_cast<const uint8_t*>(abc.data()), abc.size())),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  test::TempDir dir;
  const std::string file = dir.file("h.bin");
  test::writeFileBytes(
      file, std::span(reinterpret_cast<const uint8_t*>(twoBlocks.data()), twoBlocks.size()));
  EXPECT_EQ(test::sha256OfFile(file),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(test::fileSize(file), 56);
  EXPECT_EQ(test::fileSize(dir.file("absent")), -1);
}

TEST(TestSupportTest, FailingSourceFailsOnlyReadsTouchingBadSectors) {
  auto disk = std::make_shared<test::MemoryDisk>(8 * 512);
  disk->writeText(3 * 512 + 510, "xyz");  // spans sectors 3 and 4
  test::FailingSource source(std::make_unique<test::MemorySource>(disk), {5});
  std::vector<uint8_t> buffer(512);
  EXPECT_EQ(source.readAt(4 * 512, buffer), 512);
  EXPECT_EQ(buffer[0], 'z');
  EXPECT_EQ(source.readAt(4 * 512 + 1, buffer), -EIO);  // reaches the first byte of sector 5
  EXPECT_EQ(source.readAt(5 * 512 + 511, std::span(buffer).first(1)), -EIO);
  EXPECT_EQ(source.readAt(6 * 512, buffer), 512);
  EXPECT_EQ(source.readAt(8 * 512, buffer), 0);
}

}  // namespace
}  // namespace korvelo
