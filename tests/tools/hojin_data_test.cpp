// SPDX-License-Identifier: GPL-3.0-or-later
// The HOJINs the builder writes: heads, defects, payload and which HOJINs get written at all.
#include <gtest/gtest.h>

#include <cstring>

#include "diskbuilder/disk_builder.h"
#include "support/image_reading.h"

namespace korvelo::sample {
namespace {

using testing::big32;
using testing::readBytes;
using testing::readSector;
using testing::ScratchImage;

// F = 1, entry 0: HOJIN 1 of blocks {10, 11} lies at 6675105 (data area 6664705 + 65 x 160).
constexpr int64_t kFirstHojin = 6675105;

DiskDescription diskWith(Recording recording) {
  DiskDescription disk;
  disk.fileFatSize = 1;
  disk.recordings.push_back(std::move(recording));
  return disk;
}

Recording recordingOfBlocks(std::vector<uint32_t> blocks, uint32_t lengthSectors) {
  Recording recording;
  recording.lengthSectors = lengthSectors;
  recording.blocks = std::move(blocks);
  return recording;
}

struct DefectCase {
  const char* name;
  int hojin;
  HeadDefect defect;
  uint8_t byte1;      // 'H' unless the signature is broken
  uint32_t position;  // offset 32
  uint32_t number;    // offset 56
};

void PrintTo(const DefectCase& c, std::ostream* out) {
  *out << c.name << " on HOJIN " << c.hojin;
}

class HeadDefectTest : public ::testing::TestWithParam<DefectCase> {};

TEST_P(HeadDefectTest, ChangesOnlyTheNamedHeadFields) {
  const DefectCase& c = GetParam();
  Recording recording = recordingOfBlocks({10, 11}, 32 * 65);
  recording.defects.push_back({c.hojin, c.defect});
  ScratchImage image(std::string("defect_") + c.name);
  buildDisk(diskWith(recording), image.path());
  const std::vector<uint8_t> a = readSector(image.path(), kFirstHojin + 65 * (c.hojin - 1));
  ASSERT_EQ(a.size(), 512u);
  EXPECT_EQ(a[0], '[');
  EXPECT_EQ(a[1], c.byte1);
  EXPECT_EQ(0, std::memcmp(&a[2], "OJIN A\0\0\2\0\0\0\0\0\0\0\x80\0", 18));
  EXPECT_EQ(big32(a, 32), c.position);
  EXPECT_EQ(big32(a, 56), c.number);
  // The neighbour keeps a correct head.
  const std::vector<uint8_t> next = readSector(image.path(), kFirstHojin + 65 * c.hojin);
  EXPECT_EQ(next[1], 'H');
  EXPECT_EQ(big32(next, 56), static_cast<uint32_t>(c.hojin + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Defects, HeadDefectTest,
    ::testing::Values(DefectCase{"none", 5, HeadDefect::None, 'H', 260, 5},
                      DefectCase{"signature", 5, HeadDefect::WrongSignature, 'h', 260, 5},
                      DefectCase{"numbers", 5, HeadDefect::WrongInternalNumbers, 'H', 260, 6},
                      DefectCase{"order", 5, HeadDefect::WrongOrder, 'H', 325, 6},
                      DefectCase{"start", 1, HeadDefect::NotRecordingStart, 'H', 13, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HojinData, NoHeadLeavesPlainPayloadInTheASector) {
  Recording recording = recordingOfBlocks({10, 11}, 32 * 65);
  recording.defects.push_back({17, HeadDefect::NoHead});
  ScratchImage image("nohead");
  buildDisk(diskWith(recording), image.path());
  const int64_t sector = 6676145;
  std::vector<uint8_t> payload(512);
  fillPayload(sector, payload.data());
  EXPECT_EQ(readSector(image.path(), sector), payload);
}

TEST(HojinData, BytesBesideTheHeadFieldsArePayloadOfTheirOwnSector) {
  ScratchImage image("payload");
  buildDisk(diskWith(recordingOfBlocks({10, 11}, 32 * 65)), image.path());
  const std::vector<uint8_t> hojin = readBytes(image.path(), kFirstHojin, 33280);
  ASSERT_EQ(hojin.size(), 33280u);
  std::vector<uint8_t> payload(512);
  fillPayload(kFirstHojin, payload.data());
  for (size_t offset : {20u, 31u, 36u, 55u, 60u, 511u}) {
    EXPECT_EQ(hojin[offset], payload[offset]) << "A-sector offset " << offset;
  }
  fillPayload(kFirstHojin + 64, payload.data());
  EXPECT_EQ(0, std::memcmp(&hojin[64 * 512], payload.data(), 512));
}

TEST(HojinData, ReadBackAndComputedHojinsAgree) {
  Recording recording = recordingOfBlocks({10, 40}, 20 * 65);
  recording.defects.push_back({18, HeadDefect::WrongOrder});
  const DiskDescription disk = diskWith(recording);
  ScratchImage image("readback");
  buildDisk(disk, image.path());
  for (int k : {1, 16, 17, 18, 20}) {
    EXPECT_EQ(readHojinFromImage(image.path(), disk, recording, k),
              expectedHojin(disk, recording, k))
        << "HOJIN " << k;
  }
  // HOJIN 17 opens block 40: absolute HOJIN 640.
  EXPECT_EQ(big32(readSector(image.path(), 6664705 + 65 * 640), 56), 17u);
  const std::vector<uint8_t> all = readRecordingFromImage(image.path(), disk, recording);
  ASSERT_EQ(all.size(), 20u * 33280);
  EXPECT_EQ(big32(std::vector<uint8_t>(all.begin() + 17 * 33280, all.end()), 56), 18u + 1);
}

TEST(HojinData, PartialLastHojinIsWrittenWholeAndNothingBeyondIt) {
  // 2 whole HOJINs and 10 sectors: HOJIN 3 is written, HOJIN 4 is not.
  ScratchImage image("partial");
  buildDisk(diskWith(recordingOfBlocks({10}, 2 * 65 + 10)), image.path());
  EXPECT_EQ(big32(readSector(image.path(), kFirstHojin + 130), 56), 3u);
  std::vector<uint8_t> payload(512);
  fillPayload(kFirstHojin + 194, payload.data());
  EXPECT_EQ(readSector(image.path(), kFirstHojin + 194), payload);  // last sector of HOJIN 3
  EXPECT_EQ(readSector(image.path(), kFirstHojin + 195), std::vector<uint8_t>(512, 0));
}

TEST(HojinData, BlocksBeyondTheRecordingLengthStayEmpty) {
  ScratchImage image("spare");
  buildDisk(diskWith(recordingOfBlocks({10, 11}, 16 * 65)), image.path());
  EXPECT_EQ(readSector(image.path(), 6676145), std::vector<uint8_t>(512, 0));
  EXPECT_EQ(readSector(image.path(), 6662705)[1], 0x30);  // both blocks still in the file FAT
}

TEST(HojinData, ProbeMarkerMarksAbsoluteHojinZeroOnlyWhenNoRecordingOwnsIt) {
  ScratchImage image("probe");
  buildDisk(diskWith(recordingOfBlocks({10}, 65)), image.path());
  const std::vector<uint8_t> marker = readSector(image.path(), 6664705);
  EXPECT_EQ(0, std::memcmp(marker.data(), "[HOJIN A", 8));
  EXPECT_EQ(big32(marker, 32), 0u);

  DiskDescription withoutMarker = diskWith(recordingOfBlocks({10}, 65));
  withoutMarker.probeMarker = false;
  buildDisk(withoutMarker, image.path());
  EXPECT_EQ(readSector(image.path(), 6664705), std::vector<uint8_t>(512, 0));
}

TEST(HojinData, FileFatLeftOutWhenTheRecordingSaysSo) {
  Recording recording = recordingOfBlocks({10, 11}, 32 * 65);
  recording.writeFileFat = false;
  ScratchImage image("wiped");
  buildDisk(diskWith(recording), image.path());
  EXPECT_EQ(readSector(image.path(), 6662705), std::vector<uint8_t>(512, 0));
  EXPECT_EQ(big32(readSector(image.path(), kFirstHojin), 56), 1u);
}

TEST(HojinData, FileFatBitsReachIntoLaterSectors) {
  // Block 4096 is bit 4097: the first bit of the second FAT sector.
  DiskDescription disk = diskWith(recordingOfBlocks({4096}, 65));
  disk.fileFatSize = 2;
  ScratchImage image("fatsector2");
  buildDisk(disk, image.path());
  EXPECT_EQ(readSector(image.path(), 6662704 + 2), std::vector<uint8_t>(512, 0));
  std::vector<uint8_t> second(512, 0);
  second[0] = 0x80;
  EXPECT_EQ(readSector(image.path(), 6662704 + 3), second);
  EXPECT_EQ(big32(readSector(image.path(), 6662704 + 2001 * 2 + 65 * 16 * 4096), 56), 1u);
}

}  // namespace
}  // namespace korvelo::sample
