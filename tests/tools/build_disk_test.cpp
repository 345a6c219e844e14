// SPDX-License-Identifier: GPL-3.0-or-later
// Built images read back with plain pread and checked against the formats by hand.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "diskbuilder/disk_builder.h"
#include "support/image_reading.h"

namespace korvelo::sample {
namespace {

using testing::big16;
using testing::big32;
using testing::readBytes;
using testing::readSector;
using testing::ScratchImage;

const uint8_t kHojinSignature[20] = {'[', 'H', 'O', 'J', 'I', 'N', ' ', 'A', 0,    0,
                                     2,   0,   0,   0,   0,   0,   0,   0,   0x80, 0};

Recording twoBlockRecording() {
  Recording recording;
  recording.slot = 0;
  recording.entryNumber = 0;
  recording.title =
      "Zwei Bl\xF6"
      "cke";
  recording.lengthSectors = 32 * 65;
  recording.blocks = {10, 11};
  return recording;
}

DiskDescription twoBlockDisk(Model model = Model::Fsr5000) {
  DiskDescription disk;
  disk.model = model;
  disk.fileFatSize = 1;
  disk.recordings.push_back(twoBlockRecording());
  return disk;
}

void expectHead(const std::vector<uint8_t>& aSector, uint32_t k) {
  ASSERT_EQ(aSector.size(), 512u);
  EXPECT_EQ(0, std::memcmp(aSector.data(), kHojinSignature, 20));
  EXPECT_EQ(big32(aSector, 32), 65 * (k - 1));
  EXPECT_EQ(big32(aSector, 56), k);
}

TEST(BuildDisk, SignatureSectorsHoldTheVolumeNameAndNulBytes) {
  ScratchImage image("signature");
  buildDisk(twoBlockDisk(), image.path());
  std::vector<uint8_t> expected(512, 0);
  std::memcpy(expected.data(), "Handan HFS Vol000", 17);
  for (int64_t sector = 16; sector <= 31; ++sector) {
    EXPECT_EQ(readSector(image.path(), sector), expected) << "sector " << sector;
  }
  EXPECT_EQ(readSector(image.path(), 15), std::vector<uint8_t>(512, 0));
  EXPECT_EQ(readSector(image.path(), 32), std::vector<uint8_t>(512, 0));
}

TEST(BuildDisk, FileSystemSectorStartsWithItsNameAndNul) {
  ScratchImage image("filesys");
  buildDisk(twoBlockDisk(), image.path());
  const std::vector<uint8_t> sector = readSector(image.path(), 307489);
  ASSERT_EQ(sector.size(), 512u);
  EXPECT_EQ(0, std::memcmp(sector.data(), "file_system.sys\0", 16));
}

TEST(BuildDisk, ImageHasTheExactSizeAndStaysSparse) {
  ScratchImage image("sparse");
  const DiskDescription disk = demoDisk();
  buildDisk(disk, image.path());
  struct stat status {};
  ASSERT_EQ(::stat(image.path().c_str(), &status), 0);
  EXPECT_EQ(static_cast<uint64_t>(status.st_size), 160039272960ULL);
  EXPECT_LT(static_cast<int64_t>(status.st_blocks) * 512, 32LL * 1024 * 1024);
}

TEST(BuildDisk, HojinHeadsLieAtTheHandComputedSectors) {
  ScratchImage image("heads");
  buildDisk(twoBlockDisk(), image.path());
  expectHead(readSector(image.path(), 6675105), 1);
  expectHead(readSector(image.path(), 6676080), 16);
  expectHead(readSector(image.path(), 6676145), 17);
  expectHead(readSector(image.path(), 6677120), 32);
}

TEST(BuildDisk, TevionHojinOneLiesAtItsOwnSector) {
  ScratchImage image("tevion");
  buildDisk(twoBlockDisk(Model::Tevion), image.path());
  expectHead(readSector(image.path(), 383649), 1);
  EXPECT_EQ(big16(readSector(image.path(), 307232), 0), 1);
  EXPECT_EQ(big16(readSector(image.path(), 307248), 0), 0);
}

TEST(BuildDisk, FileFatSetsOneBitPerBlockMostSignificantFirst) {
  ScratchImage image("filefat");
  buildDisk(twoBlockDisk(), image.path());
  std::vector<uint8_t> expected(512, 0);
  expected[1] = 0x30;
  EXPECT_EQ(readSector(image.path(), 6662705), expected);
}

TEST(BuildDisk, DirectoryHeadAnnouncesTheRecordings) {
  ScratchImage image("head");
  const DiskDescription disk = demoDisk();
  buildDisk(disk, image.path());
  const std::vector<uint8_t> head = readSector(image.path(), 6598688);
  EXPECT_EQ(head[0], 0);
  EXPECT_EQ(head[1], 5);
}

TEST(BuildDisk, EntryImageFieldsAreBigEndianAtTheirOffsets) {
  ScratchImage image("entry");
  DiskDescription disk = twoBlockDisk();
  disk.recordings[0].slot = 3;
  disk.recordings[0].entryNumber = 0x0102;
  disk.recordings[0].writeFileFat = true;
  disk.recordings[0].stampDay = 54104;
  disk.recordings[0].stampHour = 0;
  disk.recordings[0].stampMinute = 10;
  disk.recordings[0].durationMs = 1800000;
  disk.recordings[0].secondText = "ZDF";
  buildDisk(disk, image.path());
  const std::vector<uint8_t> entry = readBytes(image.path(), 6598704 + 3 * 32, 1536);
  ASSERT_EQ(entry.size(), 1536u);
  EXPECT_EQ(big16(entry, 0), 0x0102);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&entry[4])),
            "Zwei Bl\xF6"
            "cke");
  EXPECT_EQ(big32(entry, 40), 54104u);
  EXPECT_EQ(big16(entry, 44), 0);
  EXPECT_EQ(big16(entry, 46), 10);
  EXPECT_EQ(big32(entry, 148), 32u * 65);
  EXPECT_EQ(big32(entry, 152), 1800000u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&entry[180])), "ZDF");
  EXPECT_EQ(entry, entryImage(disk.recordings[0]));
  // The file FAT of entry number 0x0102 with F = 1.
  EXPECT_EQ(readSector(image.path(), 6662704 + 0x0103)[1], 0x30);
}

}  // namespace
}  // namespace korvelo::sample
