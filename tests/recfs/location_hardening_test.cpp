// SPDX-License-Identifier: GPL-3.0-or-later
// HOJIN location on file FATs and entry numbers that no good directory holds: entry
// numbers from 2000 on give -1 without a read, an empty file FAT gives no HOJIN, a
// full one gives every block in order, and a disk without any HOJIN gives no size.

#include <gtest/gtest.h>

#include "recfs/fsr5000_disk.h"
#include "recfs/status_text.h"
#include "support/hardening_fixture.h"

namespace korvelo::test {
namespace {

constexpr int64_t kFatAreaStart = 6662704;

int64_t dataAreaStart(int fileFatSize) {
  return kFatAreaStart + 2001 * int64_t{fileFatSize};
}

class EntryNumberBeyondTheFatRegions : public ::testing::TestWithParam<int> {};

TEST_P(EntryNumberBeyondTheFatRegions, GivesMinusOneWithoutReading) {
  sample::DiskDescription disk;
  disk.fileFatSize = 1;
  disk.recordings.push_back(recordingAt(0, {0}, 65));
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(1);
  image.clearReads();
  EXPECT_EQ(recorder.getSectorNumberOfHojin(GetParam(), 1), -1);
  EXPECT_TRUE(image.reads().empty());
  EXPECT_EQ(statusText(), "");
}

INSTANTIATE_TEST_SUITE_P(Hardening, EntryNumberBeyondTheFatRegions,
                         ::testing::Values(2000, 2001, 65535, 1 << 30));

TEST(LocationHardening, LastEntryNumberStillReadsItsOwnRegion) {
  sample::DiskDescription disk;
  disk.fileFatSize = 1;
  sample::Recording last = recordingAt(0, {5}, 65);
  last.entryNumber = 1999;
  disk.recordings.push_back(last);
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(1);
  image.clearReads();
  EXPECT_EQ(recorder.getSectorNumberOfHojin(1999, 1), dataAreaStart(1) + 5 * 1040);
  ASSERT_FALSE(image.reads().empty());
  EXPECT_EQ(image.reads().front(), kFatAreaStart + 2000);
}

TEST(LocationHardening, FileFatWithoutBitsGivesNoHojin) {
  sample::DiskDescription disk;
  disk.fileFatSize = 2;
  sample::Recording recording = recordingAt(0, {3}, 16 * 65);
  recording.writeFileFat = false;
  disk.recordings.push_back(recording);
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(2);
  EXPECT_EQ(recorder.getSectorNumberOfHojin(0, 1), -1);
  const std::vector<std::string> lines = linesOf(statusText());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "DEBUG gSNOH: nBlockContainsHojin = 1; nBlock = 0");
  EXPECT_EQ(lines[2], "DEBUG gSNOH: nByteOfFAT = 1023; nLastByteOfFAT = 1023");
  EXPECT_EQ(recorder.getSectorNumberOfHojin(0, 16), -1);
}

// F = 1: 4096 bits, all set, so HOJIN k lies at 65 (k - 1) sectors into the data area.
TEST(LocationHardening, FileFatWithEveryBitSet) {
  sample::DiskDescription disk;
  disk.fileFatSize = 1;
  sample::Recording recording = recordingAt(0, {0}, 65);
  recording.writeFileFat = false;
  disk.recordings.push_back(recording);
  disk.rawSectors.push_back({kFatAreaStart + 1, std::vector<uint8_t>(512, 0xFF)});
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(1);
  const int64_t start = dataAreaStart(1);
  EXPECT_EQ(recorder.getSectorNumberOfHojin(0, 1), start);
  EXPECT_EQ(recorder.getSectorNumberOfHojin(0, 17), start + 65 * 16);
  EXPECT_EQ(recorder.getSectorNumberOfHojin(0, 65536), start + 65 * 65535);
  EXPECT_EQ(recorder.getSectorNumberOfHojin(0, 65537), -1);
  EXPECT_EQ(recorder.getSectorNumberOfHojin(0, 0x7FFFFFFF), -1);
}

TEST(LocationHardening, ProbeWithoutAnyCandidate) {
  sample::DiskDescription disk;
  disk.probeMarker = false;
  disk.recordings.push_back(recordingAt(0, {3}, 65));  // block 0 stays empty
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  EXPECT_EQ(recorder.getSizeFileFAT(), -1);
  EXPECT_EQ(statusText(), "Automatisch ermittelter \"File-FAT-Size\": -1");
  image.clearReads();
  // Unset, the location probes again, reports it and gives up.
  EXPECT_EQ(recorder.getSectorNumberOfHojin(0, 1), -1);
  EXPECT_EQ(statusText(), "DEBUG gSNOH: getSizeFileFAT() returned -1 (0xFFFFFFFF).");
  EXPECT_EQ(image.reads().size(), 255u);
}

// An absurd manual File-FAT-Size: no read, no allocation of gigabytes, no wrapped sector.
TEST(LocationHardening, HugeManualFileFatSize) {
  sample::DiskDescription disk;
  disk.recordings.push_back(recordingAt(0, {0}, 65));
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(0x7FFFFFFF);
  image.clearReads();
  EXPECT_EQ(recorder.getSectorNumberOfHojin(1999, 1), -1);
  EXPECT_TRUE(image.reads().empty());
}

}  // namespace
}  // namespace korvelo::test
