// SPDX-License-Identifier: GPL-3.0-or-later
// The region scan on disks whose directory lost recordings that their file FATs still
// hold: a wiped slot, an unreadable directory head, a deleted recording.

#include <gtest/gtest.h>

#include <random>

#include "diskbuilder/layout.h"
#include "recfs/rescue_disk.h"
#include "recfs/rescue_scan.h"
#include "support/file_util.h"
#include "support/rescue_fixture.h"

namespace korvelo::test {
namespace {

// Three recordings: entry 0 in blocks 0, 1 (20 HOJINs), entry 1 in blocks 3, 5
// (17 HOJINs, fragmented), entry 2 in block 6 (9 HOJINs).
sample::DiskDescription threeRecordings() {
  return smallDisk(
      {rescueRecording(0, {0, 1}, 20), rescueRecording(1, {3, 5}, 17), rescueRecording(2, {6}, 9)});
}

int64_t slotSector(int slot) {
  return 6598704 + 32LL * slot;
}

TEST(RegionScan, WipedSlotIsFoundWithItsBlocksAndHeadCountedLength) {
  sample::DiskDescription description = threeRecordings();
  // Slot 1 overwritten with zeros: the directory now lists entry number 0 twice.
  description.rawSectors.push_back({slotSector(1), std::vector<uint8_t>(1536, 0)});
  RescueImage image(description);

  const RescueScanResult result = scanFileFatRegions(image.disk());

  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.fileFatSize, kSmallFatSize);
  ASSERT_EQ(result.recordings.size(), 1u);
  const RescuedRecording& found = result.recordings[0];
  EXPECT_EQ(found.id, 1);
  EXPECT_EQ(found.region, 2);
  EXPECT_EQ(found.method, RescueMethod::FileFatRegions);
  EXPECT_EQ(found.blocks, (std::vector<int64_t>{3, 5}));
  EXPECT_EQ(found.hojins, 17);
  EXPECT_TRUE(found.startMarked);
  EXPECT_EQ(found.confidence(), Confidence::Certain);
  EXPECT_EQ(found.sectorOfHojin(17), blockSectorOf(description, 5));
}

TEST(RegionScan, WipedSlotExportsByteExactAsRescued) {
  sample::DiskDescription description = threeRecordings();
  description.rawSectors.push_back({slotSector(1), std::vector<uint8_t>(1536, 0)});
  RescueImage image(description);
  RescueDisk rescue(image.disk(), scanFileFatRegions(image.disk()).recordings);

  const ExportOutcome outcome = exportRescued(rescue, 1, image.output("x.hav"));

  EXPECT_EQ(outcome.prepareResult, 0);
  EXPECT_EQ(outcome.errorCode, 0);
  EXPECT_EQ(outcome.proposedName, "01 Gerettet 1.hav");
  EXPECT_EQ(outcome.bytes, expectedRescuedHav(1, 17, image.dataOf(1)));
}

TEST(RegionScan, UnreadableDirectoryHeadReportsEveryRecording) {
  RescueImage image(threeRecordings(), {6598688});
  ASSERT_TRUE(image.disk().getEntries().empty());

  const RescueScanResult result = scanFileFatRegions(image.disk());

  ASSERT_EQ(result.recordings.size(), 3u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 1}));
  EXPECT_EQ(result.recordings[0].hojins, 20);
  EXPECT_EQ(result.recordings[1].hojins, 17);
  EXPECT_EQ(result.recordings[2].id, 2);
  EXPECT_EQ(result.recordings[2].hojins, 9);
  EXPECT_EQ(result.scanned, 2000);

  RescueDisk rescue(image.disk(), result.recordings);
  const ExportOutcome outcome = exportRescued(rescue, 0, image.output("0.hav"));
  EXPECT_EQ(outcome.bytes, expectedRescuedHav(0, 20, image.dataOf(0)));
}

TEST(RegionScan, DeletedRecordingIsFoundAndListedOnesAreNot) {
  sample::DiskDescription description = threeRecordings();
  description.rawSectors.push_back({slotSector(2), std::vector<uint8_t>{0xFF, 0xFF}});
  RescueImage image(description);
  ASSERT_EQ(image.disk().getEntries().size(), 2u);

  const RescueScanResult result = scanFileFatRegions(image.disk());

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].id, 2);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{6}));
  EXPECT_EQ(result.recordings[0].hojins, 9);
  EXPECT_EQ(result.scanned, 1998);  // the two listed entry numbers are skipped
}

TEST(RegionScan, HeadsEndingBeforeTheLastBlockMakeTheFindUncertain) {
  sample::Recording broken = rescueRecording(0, {0, 2, 4}, 40);
  broken.defects.push_back({20, sample::HeadDefect::WrongOrder});
  sample::DiskDescription description = smallDisk({broken});
  description.announcedEntries = 0;
  RescueImage image(description);

  const RescueScanResult result = scanFileFatRegions(image.disk());

  ASSERT_EQ(result.recordings.size(), 1u);
  const RescuedRecording& found = result.recordings[0];
  EXPECT_EQ(found.hojins, 19);
  EXPECT_TRUE(found.headsEndEarly);
  EXPECT_EQ(found.confidence(), Confidence::Uncertain);
}

TEST(RegionScan, FirstHojinWithoutStartMarkIsUncertain) {
  sample::Recording recording = rescueRecording(0, {2}, 5);
  recording.defects.push_back({1, sample::HeadDefect::NotRecordingStart});
  sample::DiskDescription description = smallDisk({recording});
  description.announcedEntries = 0;
  RescueImage image(description);

  const RescueScanResult result = scanFileFatRegions(image.disk());

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_FALSE(result.recordings[0].startMarked);
  EXPECT_EQ(result.recordings[0].hojins, 5);  // 13 at offset 32 still names HOJIN 1
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Uncertain);
}

TEST(RegionScan, UnreadableFileFatIsCountedAndPassedOver) {
  sample::DiskDescription description = threeRecordings();
  description.announcedEntries = 0;
  const int64_t regionOfEntry1 = 6662704 + 2 * kSmallFatSize;
  RescueImage image(description, {regionOfEntry1});

  const RescueScanResult result = scanFileFatRegions(image.disk());

  EXPECT_EQ(result.unreadable, 1);
  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[0].id, 0);
  EXPECT_EQ(result.recordings[1].id, 2);
}

TEST(RegionScan, UnknownFileFatSizeScansNothing) {
  sample::DiskDescription description = threeRecordings();
  description.recordings[0].blocks = {1, 2};  // nothing starts the data area for the probe
  description.probeMarker = false;
  RescueImage image(description);
  image.disk().setSizeFileFAT(-1);

  const RescueScanResult result = scanFileFatRegions(image.disk());

  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.recordings.empty());
  EXPECT_NE(result.message.find("File-FAT-Size"), std::string::npos);
}

TEST(RegionScan, StopFlagEndsTheScanAndProgressReachesTheEnd) {
  sample::DiskDescription description = threeRecordings();
  description.announcedEntries = 0;
  RescueImage image(description);
  std::atomic<bool> stop{true};
  RescueScanOptions options;
  options.stop = &stop;
  EXPECT_TRUE(scanFileFatRegions(image.disk(), options).interrupted);

  std::vector<ScanProgress> reports;
  RescueScanOptions watched;
  watched.progress = [&reports](const ScanProgress& p) { reports.push_back(p); };
  const RescueScanResult result = scanFileFatRegions(image.disk(), watched);
  EXPECT_FALSE(result.interrupted);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().done, 2000);
  EXPECT_EQ(reports.back().total, 2000);
  EXPECT_EQ(reports.back().found, 3);
}

// A file FAT full of set bits (as an overwritten FAT area gives) that alone names more
// than kMostRescuedBlocks blocks (F = 2049 sectors: 8.394.752): the scan keeps nothing of
// it and stops there, saying why.
TEST(RegionScan, FullFileFatsStopAtTheBlockBound) {
  constexpr int kHugeFatSize = 2049;
  sample::DiskDescription description = threeRecordings();
  description.fileFatSize = kHugeFatSize;
  description.imageBytes =
      uint64_t(sample::dataAreaStart(description.model, kHugeFatSize) + 8 * 1040) * 512;
  description.rawSectors.push_back({sample::fileFatSector(description.model, kHugeFatSize, 3),
                                    std::vector<uint8_t>(kHugeFatSize * 512, 0xFF)});
  RescueImage image(description);

  const RescueScanResult result = scanFileFatRegions(image.disk());

  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_TRUE(result.atBlockBound);
  EXPECT_TRUE(result.recordings.empty());
  EXPECT_TRUE(result.fellShort());
  EXPECT_TRUE(result.message.ends_with(
      ", Suche bei 8.388.608 Blöcken beendet (mehr hält die Suche nicht im Speicher)."))
      << result.message;
}

// A file-FAT area of random bits: every region names about half of its 8192 blocks, and
// the heads along them break off after a block or two. Nothing of it is kept.
TEST(RegionScan, RandomFileFatsArePassedOverAsNotCredible) {
  sample::DiskDescription description = threeRecordings();
  std::mt19937 random(33);
  for (int entry = 3; entry < 2000; ++entry) {
    std::vector<uint8_t> bits(kSmallFatSize * 512);
    for (uint8_t& byte : bits) byte = static_cast<uint8_t>(random());
    description.rawSectors.push_back(
        {sample::fileFatSector(description.model, kSmallFatSize, entry), bits});
  }
  RescueImage image(description);

  const RescueScanResult result = scanFileFatRegions(image.disk());

  EXPECT_TRUE(result.recordings.empty());
  EXPECT_EQ(result.notCredible, 1997);
  EXPECT_TRUE(result.fellShort());
  EXPECT_TRUE(result.message.ends_with(
      " 1997 Dateizuordnungstabellen übergangen: ihre HOJIN-Köpfe reichen nicht bis zur "
      "Hälfte der Blöcke, die sie nennen."))
      << result.message;
}

// A find whose file FAT names two blocks is kept once its heads reach past the first half.
TEST(RegionScan, AFindIsKeptWhenItsHeadsReachHalfwayIntoItsBlocks) {
  for (const auto& [hojins, kept] : {std::pair{8, false}, std::pair{9, true}}) {
    sample::DiskDescription description = smallDisk({rescueRecording(0, {0, 2}, hojins)});
    description.announcedEntries = 0;
    RescueImage image(description);

    const RescueScanResult result = scanFileFatRegions(image.disk());

    EXPECT_EQ(result.recordings.size(), kept ? 1u : 0u) << hojins;
    EXPECT_EQ(result.notCredible, kept ? 0 : 1) << hojins;
    EXPECT_EQ(result.fellShort(), !kept) << hojins;
  }
}

}  // namespace
}  // namespace korvelo::test
