// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "recfs/fsr5000_disk.h"
#include "recfs/recfs_fixture.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using test::recordingIn;
using test::SampleDisk;
using test::statusLines;

constexpr int64_t kHead = 6598688;
constexpr int64_t kFirstSlot = 6598704;

int64_t slotSector(int slot) {
  return kFirstSlot + 32 * int64_t{slot};
}

DiskDescription diskWithSlots(std::vector<int> slots, int announced) {
  DiskDescription disk;
  disk.fileFatSize = 4;
  disk.imageBytes = uint64_t{8} << 30;
  for (int slot : slots) disk.recordings.push_back(recordingIn(slot, {}, 0));
  disk.announcedEntries = announced;
  return disk;
}

std::vector<int64_t> entrySectors(const Fsr5000Disk& disk) {
  std::vector<int64_t> sectors;
  for (const auto& entry : disk.getEntries()) sectors.push_back(entry->getSector());
  return sectors;
}

TEST(DiskConstructionTest, OpenDriveEmptiesTheStatusText) {
  SampleDisk image(diskWithSlots({}, 0));
  setStatus("alt");
  Fsr5000Disk disk('0');
  EXPECT_EQ(statusText(), "");
  EXPECT_EQ(disk.heldFileFatSize(), -1);
  EXPECT_FALSE(disk.isDirectoryRead());
  EXPECT_EQ(disk.getDriveChar(), '0');
}

TEST(DiskConstructionTest, UnopenableDriveLeavesTheMessageAndAnUnusableObject) {
  SampleDisk image(diskWithSlots({}, 0));
  Fsr5000Disk disk('5');
  EXPECT_EQ(statusText(), "  Konnte nicht auf das Laufwerk 5 zugreifen.");
  EXPECT_EQ(disk.heldFileFatSize(), -1);
  EXPECT_FALSE(disk.isDirectoryRead());
  EXPECT_EQ(disk.getNumberOfEntries(), -1);
  EXPECT_TRUE(image.reads().empty());
}

TEST(DirectoryReadTest, AnnouncedZeroReadsNoSlot) {
  SampleDisk image(diskWithSlots({0, 1}, 0));
  Fsr5000Disk disk('0');
  EXPECT_TRUE(disk.readDirectory(false));
  EXPECT_TRUE(disk.getEntries().empty());
  EXPECT_TRUE(disk.isDirectoryRead());
  EXPECT_EQ(image.reads(), (test::ReadLog{kHead * 512}));
  EXPECT_EQ(statusText(), "Lese HAV-Verzeichnis...");
}

TEST(DirectoryReadTest, EmptySlotIsVisitedButNotListed) {
  DiskDescription description = diskWithSlots({0, 1, 3, 4, 6}, 5);
  description.emptySlots = {2};
  SampleDisk image(description);
  Fsr5000Disk disk('0');
  EXPECT_TRUE(disk.readDirectory(false));
  EXPECT_EQ(entrySectors(disk),
            (std::vector<int64_t>{slotSector(0), slotSector(1), slotSector(3), slotSector(4)}));
  EXPECT_EQ(disk.getNumberOfEntries(), 5);
  EXPECT_EQ(image.readsAt(slotSector(2)), 1);
  EXPECT_EQ(image.readsAt(slotSector(5)), 0);  // the announced count is used up
  EXPECT_EQ(image.readsAt(slotSector(6)), 0);
}

TEST(DirectoryReadTest, EntryHoldsTheSlotImageByteForByte) {
  DiskDescription description = diskWithSlots({}, -1);
  sample::Recording recording = recordingIn(0, {}, 0);
  recording.title = "Die Sendung mit der Maus";
  recording.secondText = "Kinder";
  description.recordings.push_back(recording);
  SampleDisk image(description);
  Fsr5000Disk disk('0');
  ASSERT_TRUE(disk.readDirectory(false));
  ASSERT_EQ(disk.getEntries().size(), 1u);
  const DirectoryEntry& entry = *disk.getEntries()[0];
  const std::vector<uint8_t> expected = sample::entryImage(recording);
  ASSERT_EQ(expected.size(), 1536u);
  EXPECT_EQ(std::memcmp(entry.getData(), expected.data(), 1536), 0);
  EXPECT_EQ(entry.getTitle(), "Die Sendung mit der Maus");
  EXPECT_EQ(entry.getSecondText(), "Kinder");
}

TEST(DirectoryReadTest, ThreeThousandAnnouncedVisitsExactlyTheTwoThousandSlots) {
  SampleDisk image(diskWithSlots({0, 1999}, 3000));
  Fsr5000Disk disk('0');
  EXPECT_TRUE(disk.readDirectory(false));
  // Slots never written read as zeros, which is an entry, not an empty slot.
  ASSERT_EQ(disk.getEntries().size(), 2000u);
  EXPECT_EQ(disk.getEntries().back()->getSector(), 6662672);
  EXPECT_EQ(image.readsAt(6662672), 1);
  EXPECT_EQ(image.readsAt(6662704), 0);
  EXPECT_EQ(image.reads().size(), 2001u);  // the head and 2000 slots
}

TEST(DirectoryReadTest, OnlyBothBytesFFMarkAnEmptySlot) {
  DiskDescription description = diskWithSlots({0}, 3);
  description.rawSectors = {{slotSector(1), {0xFF, 0x00}}, {slotSector(2), {0x00, 0xFF}}};
  SampleDisk image(description);
  Fsr5000Disk disk('0');
  ASSERT_TRUE(disk.readDirectory(false));
  EXPECT_EQ(entrySectors(disk),
            (std::vector<int64_t>{slotSector(0), slotSector(1), slotSector(2)}));
  EXPECT_EQ(disk.getEntries()[1]->getEntryNumber(), 0xFF00);
}

TEST(DirectoryReadTest, UnreadableSlotIsReportedAndTheLaterSlotsAreListed) {
  SampleDisk image(diskWithSlots({0, 1, 2, 3}, 4), {6598768});
  Fsr5000Disk disk('0');
  EXPECT_FALSE(disk.readDirectory(false));
  EXPECT_TRUE(disk.isDirectoryRead());
  EXPECT_EQ(disk.getUnreadableSlots(), 1);
  EXPECT_EQ(entrySectors(disk),
            (std::vector<int64_t>{slotSector(0), slotSector(1), slotSector(3)}));
  EXPECT_EQ(statusLines(),
            (std::vector<std::string>{"Lese HAV-Verzeichnis...",
                                      "  Konnte Sektor 6598768l (0x0064B070) nicht lesen."}));
  EXPECT_EQ(image.readsAt(slotSector(3)), 1);
}

TEST(DirectoryReadTest, UnreadableHeadGivesAnEmptySuccessfulRead) {
  SampleDisk image(diskWithSlots({0, 1}, 2), {kHead});
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.getNumberOfEntries(), -1);
  EXPECT_TRUE(disk.readDirectory(false));
  EXPECT_TRUE(disk.isDirectoryRead());
  EXPECT_TRUE(disk.getEntries().empty());
  EXPECT_EQ(statusText(), "Lese HAV-Verzeichnis...");
}

TEST(DirectoryReadTest, SecondReadAfterSuccessReadsNothing) {
  SampleDisk image(diskWithSlots({0, 1}, 2));
  Fsr5000Disk disk('0');
  ASSERT_TRUE(disk.readDirectory(false));
  image.clearReads();
  setStatus("unberührt");
  EXPECT_TRUE(disk.readDirectory(false));
  EXPECT_TRUE(image.reads().empty());
  EXPECT_EQ(disk.getEntries().size(), 2u);
  EXPECT_EQ(statusText(), "unberührt");
}

TEST(DirectoryReadTest, ReadAfterAFailureListsNoEntryTwice) {
  SampleDisk image(diskWithSlots({0, 1, 2, 3}, 4), {slotSector(2)});
  Fsr5000Disk disk('0');
  ASSERT_FALSE(disk.readDirectory(false));
  ASSERT_EQ(disk.getEntries().size(), 3u);

  image.clearReads();
  EXPECT_FALSE(disk.readDirectory(false));  // the failing slot is not read again
  EXPECT_TRUE(image.reads().empty());
  EXPECT_EQ(disk.getEntries().size(), 3u);

  image.badSectors().clear();
  EXPECT_TRUE(disk.readDirectory(true));
  EXPECT_EQ(entrySectors(disk),
            (std::vector<int64_t>{slotSector(0), slotSector(1), slotSector(2), slotSector(3)}));
  EXPECT_EQ(disk.getUnreadableSlots(), 0);
}

TEST(DirectoryReadTest, ForcedReadReplacesTheList) {
  SampleDisk image(diskWithSlots({0, 1}, 2));
  Fsr5000Disk disk('0');
  ASSERT_TRUE(disk.readDirectory(false));
  image.clearReads();
  EXPECT_TRUE(disk.readDirectory(true));
  EXPECT_EQ(image.reads().size(), 3u);
  EXPECT_EQ(entrySectors(disk), (std::vector<int64_t>{slotSector(0), slotSector(1)}));
}

}  // namespace
}  // namespace korvelo
