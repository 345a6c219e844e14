// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "recfs/fsr5000_disk.h"
#include "recfs/recfs_fixture.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using test::SampleDisk;

constexpr int64_t kFatAreaStart = 6662704;

int64_t candidateSector(int size) {
  return kFatAreaStart + 2001 * int64_t{size};
}

DiskDescription probedDisk(int fileFatSize, bool marker) {
  DiskDescription disk;
  disk.fileFatSize = fileFatSize;
  disk.imageBytes = uint64_t{8} << 30;
  disk.probeMarker = marker;
  return disk;
}

std::vector<uint8_t> headWithBlockField(uint8_t third) {
  return {'[', 'H', 'O', 'J', 'I', 'N', ' ', 'A', 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, third, 0};
}

TEST(FileFatSizeProbeTest, FindsSeventyTwoAfterSeventyTwoReads) {
  SampleDisk image(probedDisk(72, true));
  Fsr5000Disk disk('0');
  image.clearReads();
  EXPECT_EQ(disk.getSizeFileFAT(), 72);
  test::ReadLog expected;
  for (int size = 1; size <= 72; ++size) expected.push_back(candidateSector(size) * 512);
  EXPECT_EQ(image.reads(), expected);
  EXPECT_EQ(candidateSector(72), 6806776);
  EXPECT_EQ(statusText(), "Automatisch ermittelter \"File-FAT-Size\": 72");
  EXPECT_EQ(disk.heldFileFatSize(), 72);
}

TEST(FileFatSizeProbeTest, KnownValueIsReturnedWithoutReading) {
  SampleDisk image(probedDisk(72, true));
  Fsr5000Disk disk('0');
  disk.getSizeFileFAT();
  image.clearReads();
  setStatus("unberührt");
  EXPECT_EQ(disk.getSizeFileFAT(), 72);
  EXPECT_TRUE(image.reads().empty());
  EXPECT_EQ(statusText(), "unberührt");
}

TEST(FileFatSizeProbeTest, WrongBlockSizeFieldDoesNotPass) {
  DiskDescription description = probedDisk(72, true);
  description.rawSectors = {{candidateSector(5), headWithBlockField(0x40)},
                            {candidateSector(9), headWithBlockField(0x80)}};
  SampleDisk image(description);
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.getSizeFileFAT(), 9);
}

// Only the head decides: an unreadable A-sector counts as no signature, unreadable
// sectors behind a good head do not matter.
TEST(FileFatSizeProbeTest, OnlyAnUnreadableHeadCountsAsNoSignature) {
  DiskDescription description = probedDisk(72, true);
  description.rawSectors = {{candidateSector(9), headWithBlockField(0x80)}};
  SampleDisk image(description,
                   {candidateSector(9), candidateSector(72) + 1, candidateSector(72) + 64});
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.getSizeFileFAT(), 72);
  EXPECT_EQ(statusText(), "Automatisch ermittelter \"File-FAT-Size\": 72");
}

TEST(FileFatSizeProbeTest, NothingFoundIsProbedAgainNextTime) {
  SampleDisk image(probedDisk(72, false));
  Fsr5000Disk disk('0');
  image.clearReads();
  EXPECT_EQ(disk.getSizeFileFAT(), -1);
  EXPECT_EQ(statusText(), "Automatisch ermittelter \"File-FAT-Size\": -1");
  EXPECT_EQ(image.reads().size(), 255u);
  EXPECT_EQ(image.reads().back(), candidateSector(255) * 512);
  EXPECT_EQ(disk.getSizeFileFAT(), -1);
  EXPECT_EQ(image.reads().size(), 510u);
}

TEST(FileFatSizeProbeTest, ProbeOnADiskEndingBeforeTheDataAreaFindsNothing) {
  DiskDescription description = probedDisk(72, false);
  description.imageBytes = uint64_t{6662704 + 3000} * 512;
  SampleDisk image(description);
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.getSizeFileFAT(), -1);
}

TEST(FileFatSizeProbeTest, ZeroOrLessSendsTheNextCallBackToTheProbe) {
  SampleDisk image(probedDisk(12, true));
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(40);
  EXPECT_EQ(disk.getSizeFileFAT(), 40);
  disk.setSizeFileFAT(0);
  EXPECT_EQ(disk.heldFileFatSize(), 0);
  EXPECT_EQ(disk.getSizeFileFAT(), 12);
  disk.setSizeFileFAT(-1);
  EXPECT_EQ(disk.getSizeFileFAT(), 12);
}

}  // namespace
}  // namespace korvelo
