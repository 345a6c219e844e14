// SPDX-License-Identifier: GPL-3.0-or-later
// The builder's sector arithmetic against numbers worked out by hand.
#include <gtest/gtest.h>

#include <cstring>

#include "diskbuilder/disk_builder.h"

namespace korvelo::sample {
namespace {

Recording twoBlockRecording() {
  Recording recording;
  recording.entryNumber = 0;
  recording.lengthSectors = 32 * 65;
  recording.blocks = {10, 11};
  return recording;
}

DiskDescription smallFatDisk(Model model) {
  DiskDescription disk;
  disk.model = model;
  disk.fileFatSize = 1;
  return disk;
}

TEST(Layout, FsrAreasStartAtTheirFixedSectors) {
  EXPECT_EQ(layoutShift(Model::Fsr5000), 0);
  EXPECT_EQ(directoryHeadSector(Model::Fsr5000), 6598688);
  EXPECT_EQ(slotSector(Model::Fsr5000, 0), 6598704);
  EXPECT_EQ(slotSector(Model::Fsr5000, 2), 6598768);
  EXPECT_EQ(slotSector(Model::Fsr5000, 1999), 6662672);
  EXPECT_EQ(fatAreaStart(Model::Fsr5000), 6662704);
}

TEST(Layout, TevionAreasLie3GiBEarlier) {
  EXPECT_EQ(layoutShift(Model::Tevion), 6291456);
  EXPECT_EQ(directoryHeadSector(Model::Tevion), 307232);
  EXPECT_EQ(slotSector(Model::Tevion, 0), 307248);
  EXPECT_EQ(slotSector(Model::Tevion, 1999), 371216);
  EXPECT_EQ(fatAreaStart(Model::Tevion), 371248);
}

TEST(Layout, FileFatAndDataAreaFollowTheFatRegions) {
  EXPECT_EQ(fileFatSector(Model::Fsr5000, 1, 0), 6662705);
  EXPECT_EQ(fileFatSector(Model::Fsr5000, 12, 5), 6662776);
  EXPECT_EQ(dataAreaStart(Model::Fsr5000, 12), 6686716);
  EXPECT_EQ(dataAreaStart(Model::Fsr5000, 1), 6664705);
  EXPECT_EQ(dataAreaStart(Model::Fsr5000, 72), 6806776);
  EXPECT_EQ(fileFatSector(Model::Tevion, 1, 0), 371249);
  EXPECT_EQ(dataAreaStart(Model::Tevion, 1), 373249);
}

struct HojinCase {
  Model model;
  int k;
  int64_t sector;
};

class HojinSectorTest : public ::testing::TestWithParam<HojinCase> {};

TEST_P(HojinSectorTest, MatchesHandComputedSector) {
  const HojinCase& c = GetParam();
  EXPECT_EQ(hojinSector(smallFatDisk(c.model), twoBlockRecording(), c.k), c.sector);
}

INSTANTIATE_TEST_SUITE_P(
    BlocksTenAndEleven, HojinSectorTest,
    ::testing::Values(HojinCase{Model::Fsr5000, 1, 6675105}, HojinCase{Model::Fsr5000, 16, 6676080},
                      HojinCase{Model::Fsr5000, 17, 6676145},
                      HojinCase{Model::Fsr5000, 20, 6676340},
                      HojinCase{Model::Fsr5000, 32, 6677120}, HojinCase{Model::Fsr5000, 33, -1},
                      HojinCase{Model::Fsr5000, 0, -1}, HojinCase{Model::Tevion, 1, 383649}));

TEST(Layout, BlocksAreTakenInAscendingOrderWhateverTheListOrder) {
  Recording recording = twoBlockRecording();
  recording.blocks = {11, 10};
  EXPECT_EQ(hojinSector(smallFatDisk(Model::Fsr5000), recording, 1), 6675105);
  EXPECT_EQ(hojinSector(smallFatDisk(Model::Fsr5000), recording, 17), 6676145);
}

TEST(Layout, HojinCountTruncatesWhileTheWrittenCountRoundsUp) {
  Recording recording;
  recording.lengthSectors = 6564;
  EXPECT_EQ(hojinCount(recording), 100u);
  EXPECT_EQ(writtenHojinCount(recording), 101u);
  recording.lengthSectors = 6500;
  EXPECT_EQ(hojinCount(recording), 100u);
  EXPECT_EQ(writtenHojinCount(recording), 100u);
  recording.lengthSectors = 64;
  EXPECT_EQ(hojinCount(recording), 0u);
  EXPECT_EQ(writtenHojinCount(recording), 1u);
}

TEST(Payload, DiffersBetweenSectorsAndRepeatsForTheSameSector) {
  uint8_t a[512], b[512], c[512];
  fillPayload(6675105, a);
  fillPayload(6675105, b);
  fillPayload(6675106, c);
  EXPECT_EQ(0, std::memcmp(a, b, 512));
  EXPECT_NE(0, std::memcmp(a, c, 512));
  EXPECT_NE(0, std::memcmp(a, "[HOJIN A", 8));
}

}  // namespace
}  // namespace korvelo::sample
