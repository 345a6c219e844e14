// SPDX-License-Identifier: GPL-3.0-or-later
// The head scan on disks whose file FATs are gone: recordings rebuilt from the internal
// numbers in their HOJIN heads, interleaved fragments, false starts, gaps and limits.

#include <gtest/gtest.h>
#include <unistd.h>

#include "recfs/rescue_disk.h"
#include "recfs/rescue_scan.h"
#include "support/rescue_fixture.h"

namespace korvelo::test {
namespace {

sample::Recording withoutFileFat(sample::Recording recording) {
  recording.writeFileFat = false;
  return recording;
}

// Two recordings whose blocks alternate: A in 0, 2, 4, 6 (50 HOJINs), B in 1, 3, 5 (40).
sample::DiskDescription interleaved() {
  sample::DiskDescription description =
      smallDisk({withoutFileFat(rescueRecording(0, {0, 2, 4, 6}, 50)),
                 withoutFileFat(rescueRecording(1, {1, 3, 5}, 40))},
                10);
  description.announcedEntries = 0;
  return description;
}

// The heads cannot tell A from B: B's blocks could as well continue A and the other way
// round. Both are found, both uncertain, their alternatives named.
TEST(HeadScan, AlternatingRecordingsAreFoundButUncertain) {
  RescueImage image(interleaved());

  const RescueScanResult result = scanHojinHeads(image.disk());

  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.scanned, 10);
  EXPECT_EQ(result.orphanBlocks, 0);
  ASSERT_EQ(result.recordings.size(), 2u);
  const RescuedRecording& a = result.recordings[0];
  const RescuedRecording& b = result.recordings[1];
  EXPECT_EQ(a.id, 1);
  EXPECT_EQ(a.blocks, (std::vector<int64_t>{0, 2, 4, 6}));
  EXPECT_EQ(a.hojins, 50);
  EXPECT_EQ(a.ambiguousChoices, 2);
  ASSERT_EQ(a.alternatives.size(), 2u);
  EXPECT_EQ(a.alternatives[0].otherBlocks, (std::vector<int64_t>{3}));
  EXPECT_EQ(a.alternatives[1].otherBlocks, (std::vector<int64_t>{5}));
  EXPECT_EQ(a.confidence(), Confidence::Uncertain);
  EXPECT_EQ(b.id, 2);
  EXPECT_EQ(b.blocks, (std::vector<int64_t>{1, 3, 5}));
  EXPECT_EQ(b.hojins, 40);
  EXPECT_EQ(b.ambiguousChoices, 2);
  EXPECT_EQ(b.confidence(), Confidence::Uncertain);
}

TEST(HeadScan, InterleavedRecordingsExportByteExact) {
  RescueImage image(interleaved());
  RescueDisk rescue(image.disk(), scanHojinHeads(image.disk()).recordings);

  const ExportOutcome first = exportRescued(rescue, 1, image.output("1.hav"));
  const ExportOutcome second = exportRescued(rescue, 2, image.output("2.hav"));

  EXPECT_EQ(first.errorCode, 0);
  EXPECT_EQ(first.bytes, expectedRescuedHav(1, 50, image.dataOf(0)));
  EXPECT_EQ(second.errorCode, 0);
  EXPECT_EQ(second.proposedName, "02 Gerettet 2.hav");
  EXPECT_EQ(second.bytes, expectedRescuedHav(2, 40, image.dataOf(1)));
  EXPECT_EQ(second.messages.find("Warnung"), std::string::npos) << second.messages;
}

TEST(HeadScan, FullLastBlockLeavesTheEndProbable) {
  sample::DiskDescription description =
      smallDisk({withoutFileFat(rescueRecording(0, {0, 1}, 32))}, 4);
  RescueImage image(description);

  const RescueScanResult result = scanHojinHeads(image.disk());

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].hojins, 32);
  EXPECT_TRUE(result.recordings[0].endsOnBlockBoundary);
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Probable);
}

// The image ends 5 HOJINs into the second block: the heads past the end are no damage
// of the disk, the recording simply ends where the image does.
TEST(HeadScan, BlockRunningOverTheEndOfTheImageEndsThere) {
  const sample::DiskDescription description =
      smallDisk({withoutFileFat(rescueRecording(0, {0, 1}, 32))}, 4);
  RescueImage image(description);
  ASSERT_EQ(::truncate(image.imagePath().c_str(), (blockSectorOf(description, 1) + 5 * 65) * 512),
            0);

  const RescueScanResult result = scanHojinHeads(image.disk());

  EXPECT_EQ(result.unreadable, 0);
  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].hojins, 21);
}

TEST(HeadScan, StartPokedIntoAnUnusedBlockIsReportedAsUncertainSingleHojin) {
  sample::DiskDescription description =
      smallDisk({withoutFileFat(rescueRecording(0, {0, 1}, 20))}, 8);
  description.rawSectors.push_back({blockSectorOf(description, 5), headSector(1)});
  RescueImage image(description);

  const RescueScanResult result = scanHojinHeads(image.disk());

  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[0].hojins, 20);
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Certain);
  const RescuedRecording& false_start = result.recordings[1];
  EXPECT_EQ(false_start.blocks, (std::vector<int64_t>{5}));
  EXPECT_EQ(false_start.hojins, 1);
  EXPECT_EQ(false_start.confidence(), Confidence::Uncertain);
  ASSERT_FALSE(false_start.doubts().empty());
  EXPECT_EQ(false_start.doubts()[0], "nur ein HOJIN");
}

TEST(HeadScan, HeadsInsidePayloadOrNotOpeningABlockAreIgnored) {
  sample::DiskDescription description = smallDisk({withoutFileFat(rescueRecording(0, {0}, 10))}, 8);
  // A start head in the middle of HOJIN 3's sectors, and HOJIN 18's head opening block 4.
  description.rawSectors.push_back({blockSectorOf(description, 0) + 2 * 65 + 7, headSector(1)});
  description.rawSectors.push_back({blockSectorOf(description, 4), headSector(18)});
  RescueImage image(description);

  const RescueScanResult result = scanHojinHeads(image.disk());

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].hojins, 10);
  EXPECT_EQ(result.orphanBlocks, 0);
}

TEST(HeadScan, MissingBlockHeadEndsTheChainAndIsReportedAsGap) {
  sample::DiskDescription description =
      smallDisk({withoutFileFat(rescueRecording(0, {0, 1, 2, 3}, 60))}, 6);
  description.rawSectors.push_back({blockSectorOf(description, 1), std::vector<uint8_t>(512, 0)});
  RescueImage image(description);

  const RescueScanResult result = scanHojinHeads(image.disk());

  ASSERT_EQ(result.recordings.size(), 1u);
  const RescuedRecording& found = result.recordings[0];
  EXPECT_EQ(found.blocks, (std::vector<int64_t>{0}));
  EXPECT_EQ(found.hojins, 16);
  EXPECT_TRUE(found.continuationFound);
  EXPECT_EQ(found.confidence(), Confidence::Uncertain);
  EXPECT_EQ(result.orphanBlocks, 2);
}

TEST(HeadScan, DamagedHeadInsideABlockIsCountedButCopied) {
  sample::Recording recording = withoutFileFat(rescueRecording(0, {0}, 12));
  recording.defects.push_back({5, sample::HeadDefect::WrongSignature});
  RescueImage image(smallDisk({recording}, 4));

  const RescueScanResult result = scanHojinHeads(image.disk());

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].hojins, 12);
  EXPECT_EQ(result.recordings[0].damagedHeads, 1);
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Uncertain);
}

TEST(HeadScan, EmptyBlockLimitAndLastSectorBoundTheWalk) {
  sample::DiskDescription description = smallDisk(
      {withoutFileFat(rescueRecording(0, {0}, 5)), withoutFileFat(rescueRecording(1, {12}, 5))},
      16);
  RescueImage image(description);

  RescueScanOptions limited;
  limited.emptyBlockLimit = 4;
  const RescueScanResult near = scanHojinHeads(image.disk(), limited);
  EXPECT_EQ(near.recordings.size(), 1u);
  EXPECT_EQ(near.scanned, 5);  // block 0 with heads, then 1 ... 4 empty

  RescueScanOptions bounded;
  bounded.lastSector = blockSectorOf(description, 11);
  const RescueScanResult upTo = scanHojinHeads(image.disk(), bounded);
  EXPECT_EQ(upTo.scanned, 12);
  EXPECT_EQ(upTo.recordings.size(), 1u);

  const RescueScanResult whole = scanHojinHeads(image.disk());
  EXPECT_EQ(whole.scanned, 16);
  ASSERT_EQ(whole.recordings.size(), 2u);
  EXPECT_EQ(whole.recordings[1].blocks, (std::vector<int64_t>{12}));
}

TEST(HeadScan, StopFlagInterruptsAndProgressCountsBlocks) {
  RescueImage image(interleaved());
  std::atomic<bool> stop{false};
  std::vector<ScanProgress> reports;
  RescueScanOptions options;
  options.stop = &stop;
  options.progress = [&](const ScanProgress& p) {
    reports.push_back(p);
    stop = true;  // the first report asks to stop
  };

  const RescueScanResult result = scanHojinHeads(image.disk(), options);

  EXPECT_TRUE(result.interrupted);
  EXPECT_EQ(result.scanned, 1);
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports.front().total, 10);
  EXPECT_EQ(reports.back().done, 1);
}

// The block's place is told by its second HOJIN's head; the unreadable first one counts
// as a damaged head.
TEST(HeadScan, UnreadableFirstAsectorIsCountedAndTheBlockFoundByItsNextHead) {
  sample::DiskDescription description = interleaved();
  RescueImage image(description, {blockSectorOf(description, 3)});

  const RescueScanResult result = scanHojinHeads(image.disk());

  EXPECT_EQ(result.unreadable, 1);
  EXPECT_EQ(result.unreadableBlocks, 0);
  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[1].blocks, (std::vector<int64_t>{1, 3, 5}));
  EXPECT_EQ(result.recordings[1].hojins, 40);
  EXPECT_EQ(result.recordings[1].damagedHeads, 1);
}

// Not one head of block 3 can be read: it could continue the recording in place of block
// 1, so the link 0-1 is no longer certain.
TEST(HeadScan, BlockWithoutOneReadableHeadLeavesTheLinksUncertain) {
  const sample::DiskDescription description =
      smallDisk({withoutFileFat(rescueRecording(0, {0, 1}, 20))}, 5);
  std::set<int64_t> bad;
  for (int i = 0; i < 16; ++i) bad.insert(blockSectorOf(description, 3) + 65 * i);
  RescueImage image(description, bad);

  const RescueScanResult result = scanHojinHeads(image.disk());

  EXPECT_EQ(result.unreadable, 16);
  EXPECT_EQ(result.unreadableBlocks, 1);
  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 1}));
  EXPECT_EQ(result.recordings[0].unreadableBlocks, 1);
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Uncertain);
  EXPECT_NE(result.message.find("1 Block ohne einen lesbaren HOJIN-Kopf."), std::string::npos)
      << result.message;
}

}  // namespace
}  // namespace korvelo::test
