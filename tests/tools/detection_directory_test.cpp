// SPDX-License-Identifier: GPL-3.0-or-later
// Signature and "file_system.sys" variants, the directory head and the slots.
#include <gtest/gtest.h>

#include <cstring>

#include "diskbuilder/disk_builder.h"
#include "support/image_reading.h"

namespace korvelo::sample {
namespace {

using testing::big16;
using testing::readBytes;
using testing::readSector;
using testing::ScratchImage;

std::vector<uint8_t> goodSignatureSector() {
  std::vector<uint8_t> sector(512, 0);
  std::memcpy(sector.data(), "Handan HFS Vol000", 17);
  return sector;
}

TEST(DetectionSectors, MissingSignatureLeavesTheSectorsZero) {
  DiskDescription disk;
  disk.signature = SignatureVariant::Missing;
  ScratchImage image("nosig");
  buildDisk(disk, image.path());
  for (int64_t s = 16; s <= 31; ++s)
    EXPECT_EQ(readSector(image.path(), s), std::vector<uint8_t>(512, 0));
}

TEST(DetectionSectors, Sector31CarriesOneStrayByteAt300) {
  DiskDescription disk;
  disk.signature = SignatureVariant::Sector31Byte300;
  ScratchImage image("sig31");
  buildDisk(disk, image.path());
  for (int64_t s = 16; s <= 30; ++s) EXPECT_EQ(readSector(image.path(), s), goodSignatureSector());
  std::vector<uint8_t> last = goodSignatureSector();
  last[300] = 0x01;
  EXPECT_EQ(readSector(image.path(), 31), last);
}

TEST(DetectionSectors, Offset17NotNulKeepsTheNameButLosesTheTerminator) {
  DiskDescription disk;
  disk.signature = SignatureVariant::Offset17NotNul;
  ScratchImage image("sig17");
  buildDisk(disk, image.path());
  const std::vector<uint8_t> sector = readSector(image.path(), 16);
  EXPECT_EQ(0, std::memcmp(sector.data(), "Handan HFS Vol000", 17));
  EXPECT_NE(sector[17], 0);
  EXPECT_EQ(sector[18], 0);
}

TEST(DetectionSectors, FileSysVariants) {
  ScratchImage image("filesys");
  DiskDescription disk;
  disk.fileSys = FileSysSector::Damaged;
  buildDisk(disk, image.path());
  std::vector<uint8_t> sector = readSector(image.path(), 307489);
  EXPECT_EQ(0, std::memcmp(sector.data(), "file_system.sy", 14));
  EXPECT_NE(sector[14], 's');
  EXPECT_EQ(sector[15], 0);

  disk.fileSys = FileSysSector::Absent;
  buildDisk(disk, image.path());
  EXPECT_EQ(readSector(image.path(), 307489), std::vector<uint8_t>(512, 0));

  disk.fileSys = FileSysSector::Present;
  buildDisk(disk, image.path());
  sector = readSector(image.path(), 307489);
  EXPECT_EQ(0, std::memcmp(sector.data(), "file_system.sys", 16));
  // Whatever follows the name must not matter to a reader, so the builder puts bytes there.
  EXPECT_NE(std::vector<uint8_t>(sector.begin() + 16, sector.end()), std::vector<uint8_t>(496, 0));
}

TEST(Directory, EmptySlotsAndAnnouncedCount) {
  DiskDescription disk;
  for (int slot : {0, 1, 3, 4}) {
    Recording recording;
    recording.slot = slot;
    recording.entryNumber = static_cast<uint16_t>(slot);
    disk.recordings.push_back(recording);
  }
  disk.emptySlots = {2};
  disk.announcedEntries = 5;
  ScratchImage image("slots");
  buildDisk(disk, image.path());
  EXPECT_EQ(big16(readSector(image.path(), 6598688), 0), 5);
  const std::vector<uint8_t> empty = readSector(image.path(), 6598768);
  EXPECT_EQ(empty[0], 0xFF);
  EXPECT_EQ(empty[1], 0xFF);
  EXPECT_EQ(big16(readSector(image.path(), 6598704 + 32 * 4), 0), 4);
  EXPECT_EQ(readSector(image.path(), 6598704 + 32 * 5), std::vector<uint8_t>(512, 0));
}

TEST(Directory, HeadDefaultsToTheNumberOfRecordingsOrStaysZero) {
  DiskDescription disk;
  disk.recordings.resize(3);
  for (int i = 0; i < 3; ++i) disk.recordings[i].slot = i;
  ScratchImage image("dirhead");
  buildDisk(disk, image.path());
  EXPECT_EQ(big16(readSector(image.path(), 6598688), 0), 3);
  disk.announcedEntries = 3000;
  buildDisk(disk, image.path());
  EXPECT_EQ(big16(readSector(image.path(), 6598688), 0), 3000);
  disk.directoryHeadPresent = false;
  buildDisk(disk, image.path());
  EXPECT_EQ(readSector(image.path(), 6598688), std::vector<uint8_t>(512, 0));
}

struct TitleCase {
  size_t length;
  bool terminated;
};

class TitleLengthTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleLengthTest, TitleIsCutAt36BytesAndTerminatedWhenItFits) {
  Recording recording;
  recording.title = std::string(GetParam().length, 'T');
  const std::vector<uint8_t> image = entryImage(recording);
  const size_t kept = std::min<size_t>(GetParam().length, 36);
  EXPECT_EQ(std::string(image.begin() + 4, image.begin() + 4 + kept), std::string(kept, 'T'));
  if (GetParam().terminated) {
    EXPECT_EQ(image[4 + kept], 0);
  } else {
    EXPECT_EQ(big16(image, 40), 0);  // stamp day 54101 = 0x0000D355: its high half follows
    EXPECT_EQ(image[39], 'T');
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, TitleLengthTest,
                         ::testing::Values(TitleCase{0, true}, TitleCase{35, true},
                                           TitleCase{36, false}, TitleCase{50, false}));

TEST(Directory, EntryImageFillsUninterpretedBytesWithoutZeros) {
  Recording recording;
  recording.title = "Kurz";
  recording.secondText = "Zweiter Text";
  const std::vector<uint8_t> image = entryImage(recording);
  ASSERT_EQ(image.size(), 1536u);
  for (size_t offset : {2u, 3u, 48u, 145u, 146u, 147u, 156u, 177u, 178u, 179u, 1535u}) {
    EXPECT_NE(image[offset], 0) << "offset " << offset;
  }
  EXPECT_EQ(image[4 + 4], 0);
  EXPECT_EQ(image[180 + 12], 0);
  Recording other = recording;
  other.entryNumber = 1;
  const std::vector<uint8_t> otherImage = entryImage(other);
  EXPECT_NE(std::vector<uint8_t>(otherImage.begin() + 48, otherImage.begin() + 146),
            std::vector<uint8_t>(image.begin() + 48, image.begin() + 146));
}

TEST(Directory, SecondTextTooLongForTheImageIsCutWithoutTerminator) {
  Recording recording;
  recording.secondText = std::string(2000, 'x');
  const std::vector<uint8_t> image = entryImage(recording);
  ASSERT_EQ(image.size(), 1536u);
  EXPECT_EQ(image[1535], 'x');
}

}  // namespace
}  // namespace korvelo::sample
