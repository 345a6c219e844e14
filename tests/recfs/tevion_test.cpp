// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "recfs/fsr5000_disk.h"
#include "recfs/recfs_fixture.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using test::recordingIn;
using test::SampleDisk;

DiskDescription tevionDisk() {
  DiskDescription disk;
  disk.model = sample::Model::Tevion;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{2} << 30;
  disk.recordings.push_back(recordingIn(0, {10, 11}, 32));
  return disk;
}

TEST(TevionTest, DirectoryLiesThreeGigabytesLower) {
  DiskDescription description = tevionDisk();
  description.announcedEntries = 3000;
  SampleDisk image(description);
  std::unique_ptr<Fsr5000Disk> disk = std::make_unique<Pvr8005Disk>('0');
  EXPECT_EQ(disk->getNumberOfEntries(), 3000);
  EXPECT_EQ(image.readsAt(307232), 1);
  EXPECT_TRUE(disk->readDirectory(false));
  ASSERT_EQ(disk->getEntries().size(), 2000u);
  EXPECT_EQ(disk->getEntries().front()->getSector(), 307248);
  EXPECT_EQ(disk->getEntries().back()->getSector(), 371216);
  EXPECT_EQ(image.readsAt(371248), 0);
}

TEST(TevionTest, HojinLocationUsesTheTevionFatArea) {
  SampleDisk image(tevionDisk());
  std::unique_ptr<Fsr5000Disk> disk = std::make_unique<Pvr8005Disk>('0');
  disk->setSizeFileFAT(1);
  EXPECT_EQ(disk->getSectorNumberOfHojin(0, 1), 383649);
  EXPECT_EQ(
      statusText().rfind("DEBUG gSNOH: readSector(nFileFATSector = 371249, 1) returned (0x", 0),
      0u);
  EXPECT_NE(statusText().find("DEBUG gSNOH: sektor number of absolute first HOJIN = 373249"),
            std::string::npos);
  EXPECT_EQ(disk->getSectorNumberOfHojin(0, 32), 383649 + 1040 + 15 * 65);
}

TEST(TevionTest, ProbeAndVerificationUseTheTevionDataArea) {
  DiskDescription description = tevionDisk();
  description.fileFatSize = 7;
  description.recordings[0].blocks = {0};  // also the probe's marker
  SampleDisk image(description);
  std::unique_ptr<Fsr5000Disk> disk = std::make_unique<Pvr8005Disk>('0');
  EXPECT_EQ(disk->getSizeFileFAT(), 7);
  EXPECT_EQ(image.readsAt(371248 + 2001 * 7), 1);
  EXPECT_EQ(disk->verifySizeFileFAT(), 7);
  EXPECT_EQ(statusText(), "Überprüfung bestätigt 7 als \"File-FAT-Size\"-Wert (100%).");
}

TEST(TevionTest, UnreadableOnlySlotLeavesNothingToVerify) {
  SampleDisk image(tevionDisk(), {307248});
  std::unique_ptr<Fsr5000Disk> disk = std::make_unique<Pvr8005Disk>('0');
  disk->setSizeFileFAT(1);
  EXPECT_EQ(disk->verifySizeFileFAT(), 1);
  EXPECT_EQ(disk->getUnreadableSlots(), 1);
  EXPECT_EQ(statusText(),
            "Keine Aufzeichnungen gefunden, \"File-FAT-Size\"-Überprüfung nicht möglich.");
}

TEST(TevionTest, UnreadableSlotIsNamedWithItsTevionSector) {
  DiskDescription description = tevionDisk();
  description.announcedEntries = 3;
  SampleDisk image(description, {307248 + 64});
  Pvr8005Disk disk('0');
  EXPECT_FALSE(disk.readDirectory(false));
  EXPECT_EQ(test::statusLines().back(), "  Konnte Sektor 307312l (0x0004B070) nicht lesen.");
}

TEST(TevionTest, ConstructionReportsLikeTheFsrModel) {
  SampleDisk image(tevionDisk());
  Pvr8005Disk missing('7');
  EXPECT_EQ(statusText(), "  Konnte nicht auf das Laufwerk 7 zugreifen.");
  Pvr8005Disk present('0');
  EXPECT_EQ(statusText(), "");
}

}  // namespace
}  // namespace korvelo
