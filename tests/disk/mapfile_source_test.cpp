// SPDX-License-Identifier: GPL-3.0-or-later
// Images read through their rescue mapfile: only finished areas can be read, and a
// mapfile that is not well formed is refused rather than guessed at.

#include "disk/mapfile_source.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "disk/physical_drive.h"
#include "recfs/detection.h"
#include "recfs/status_text.h"
#include "support/file_util.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

std::optional<FinishedAreas> parse(const std::string& text) {
  std::istringstream in(text);
  return parseMapfile(in);
}

TEST(MapfileParseTest, KeepsOnlyFinishedAreasAndJoinsNeighbours) {
  const auto areas = parse(
      "# Mapfile. Created by a rescue run\n"
      "# current_pos  current_status  current_pass\n"
      "0x00001000     +               1\n"
      "#      pos        size  status\n"
      "0x00000000  0x00000800  +\n"
      "2048  2048  +\r\n"
      "0x00001000  0x00000200  -\n"
      "0x00001200  0x00000200  ?\n"
      "\n"
      "0x00001400  0x00000400  +\n"
      "0x00001800  0x00000200  *\n"
      "0x00001A00  0x00000200  /\n");
  ASSERT_TRUE(areas);
  EXPECT_EQ(*areas, (FinishedAreas{{0, 0x1000}, {0x1400, 0x1800}}));
}

TEST(MapfileParseTest, StatusLineWithoutPassIsAccepted) {
  EXPECT_TRUE(parse("0 ?\n0 512 +\n"));
  EXPECT_TRUE(parse("0x0 G 3\n"));
}

class MalformedMapfileTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedMapfileTest, IsRefused) {
  EXPECT_FALSE(parse(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedMapfileTest,
                         ::testing::Values("",                    // no status line
                                           "# only a comment\n",  //
                                           "0 512 +\n",  // a block line where the status belongs
                                           "0 X 1\n0 512 +\n",        // unknown current status
                                           "0 + 1\n0 512 F\n",        // F is no block status
                                           "0 + 1\n0 512\n",          // missing status
                                           "0 + 1\n0 512 + extra\n",  // trailing field
                                           "0 + 1\n0 0 +\n",          // empty block
                                           "0 + 1\n0 1024 +\n512 512 +\n",     // overlap
                                           "0 + 1\n1024 512 +\n0 512 +\n",     // descending
                                           "0 + 1\n0x 512 +\n",                // no hex digits
                                           "0 + 1\n-512 512 +\n",              // negative
                                           "0 + 1\n12abc 512 +\n",             // not a number
                                           "0 + 1\n0x7fffffffffffffff 2 +\n",  // end overflows
                                           "0 + 1\n0 99999999999999999999 +\n"));

class MapfileDriveTest : public ::testing::Test {
 protected:
  // 16 sectors, each filled with its own number.
  std::string image() {
    const std::string path = dir_.file("d.img");
    std::vector<uint8_t> bytes;
    for (int s = 0; s < 16; ++s) bytes.insert(bytes.end(), 512, uint8_t(s));
    test::writeFileBytes(path, bytes);
    return path;
  }
  std::string mapfile(const std::string& text, const std::string& name = "d.map") {
    const std::string path = dir_.file(name);
    test::writeFileBytes(path,
                         std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    return path;
  }
  test::TempDir dir_;
};

TEST_F(MapfileDriveTest, ReadTouchingAnUnfinishedAreaFails) {
  test::ScopedTestDrives drives({DriveSpec{
      image(), mapfile("0x2000 + 1\n0x0 0x800 +\n0x800 0x200 -\n0xA00 0x1600 +\n"), {}}});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  EXPECT_FALSE(drive.readSector(4, 1));
  EXPECT_EQ(drive.lastError(), EIO);
  EXPECT_FALSE(drive.readSector(3, 2));
  auto before = drive.readSector(0, 4);
  ASSERT_TRUE(before);
  EXPECT_EQ(before[3 * 512 + 511], 3);
  auto after = drive.readSector(5, 11);
  ASSERT_TRUE(after);
  EXPECT_EQ(after[0], 5);
  EXPECT_EQ(after[10 * 512], 15);
}

TEST_F(MapfileDriveTest, AreasTheMapfileDoesNotDescribeAreUnreadable) {
  test::ScopedTestDrives drives({DriveSpec{image(), mapfile("0 + 1\n0 4096 +\n"), {}}});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  EXPECT_TRUE(drive.readSector(7, 1));
  EXPECT_FALSE(drive.readSector(8, 1));
  EXPECT_FALSE(drive.readSector(7, 2));
}

// A rescue that stopped early: the mapfile calls 24 sectors finished, the image has 16.
TEST_F(MapfileDriveTest, FinishedAreasPastTheImageEndAreUnreadable) {
  test::ScopedTestDrives drives({DriveSpec{image(), mapfile("0 + 1\n0 0x3000 +\n"), {}}});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  EXPECT_TRUE(drive.readSector(15, 1));
  for (const int64_t sector : {15, 16, 23}) {
    EXPECT_FALSE(drive.readSector(sector, 2)) << sector;
    EXPECT_EQ(drive.lastError(), EIO);
  }
}

TEST_F(MapfileDriveTest, MalformedMapfileRefusesToOpen) {
  test::ScopedTestDrives drives({DriveSpec{image(), mapfile("0 + 1\n0 4096 +\n0 512 -\n"), {}}});
  PhysicalDrive drive;
  EXPECT_FALSE(drive.open('0'));
  EXPECT_EQ(drive.lastError(), EINVAL);
}

TEST_F(MapfileDriveTest, UnrescuedSignatureSectorsMakeTheSignatureUnreadable) {
  const std::string path = dir_.file("rec.img");
  test::createSparseFile(path, 64 * 512);
  std::vector<uint8_t> sector(512, 0);
  std::memcpy(sector.data(), "Handan HFS Vol000", 17);
  for (int s = 16; s < 32; ++s) test::writeBytesAt(path, s * 512, sector);
  test::ScopedTestDrives drives(
      {DriveSpec{path, mapfile("0 + 1\n0 0x3E00 +\n0x3E00 0x200 -\n0x4000 0x4000 +\n"), {}},
       DriveSpec{path, mapfile("0 + 1\n0 0x8000 +\n", "whole.map"), {}}});
  EXPECT_EQ(checkSignature('0'), 3);
  EXPECT_EQ(statusText(), "  Konnte nicht auf die Sektoren der Signatur zugreifen.");
  EXPECT_EQ(checkSignature('1'), 0);
}

}  // namespace
}  // namespace korvelo
