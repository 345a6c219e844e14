// SPDX-License-Identifier: GPL-3.0-or-later
// The presets' promises and the descriptions the builder refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "diskbuilder/description_check.h"
#include "diskbuilder/disk_builder.h"
#include "support/image_reading.h"

namespace korvelo::sample {
namespace {

using testing::big32;
using testing::readSector;
using testing::ScratchImage;

bool contiguous(const Recording& recording) {
  for (size_t i = 1; i < recording.blocks.size(); ++i) {
    if (recording.blocks[i] != recording.blocks[i - 1] + 1) return false;
  }
  return true;
}

TEST(DemoDisk, HoldsTheAdvertisedRecordings) {
  const DiskDescription disk = demoDisk();
  EXPECT_EQ(disk.imageBytes, 160039272960ULL);
  EXPECT_EQ(disk.fileFatSize, 72);
  ASSERT_GE(disk.recordings.size(), 4u);
  ASSERT_LE(disk.recordings.size(), 5u);
  for (size_t i = 0; i < disk.recordings.size(); ++i) {
    EXPECT_EQ(disk.recordings[i].entryNumber, i);
    const Recording& r = disk.recordings[i];
    EXPECT_GE(r.blocks.size() * 16, (r.lengthSectors + 64) / 65) << "slot " << r.slot;
  }
  const auto has = [&](auto predicate) {
    return std::any_of(disk.recordings.begin(), disk.recordings.end(), predicate);
  };
  EXPECT_TRUE(has([](const Recording& r) { return !contiguous(r); }));
  EXPECT_TRUE(has([](const Recording& r) { return r.lengthSectors == 6500; }));
  EXPECT_TRUE(has([](const Recording& r) { return r.lengthSectors % 65 != 0; }));
  EXPECT_TRUE(has([](const Recording& r) {
    return r.title ==
           "Tatort: Sch\xF6ne Gr\xFC\xDF"
           "e";
  }));
}

TEST(DemoDisk, SizeProbeFindsSeventyTwoFirst) {
  ScratchImage image("demo_probe");
  buildDisk(demoDisk(), image.path());
  // Candidates k = 1 .. 71 lie in the FAT area and must not look like a HOJIN.
  for (int k = 1; k < 72; ++k) {
    const std::vector<uint8_t> sector = readSector(image.path(), 6662704 + 2001 * k);
    ASSERT_EQ(sector.size(), 512u);
    EXPECT_NE(0, std::memcmp(sector.data(), "[HOJIN A", 8)) << "candidate " << k;
  }
  const std::vector<uint8_t> first = readSector(image.path(), 6806776);
  EXPECT_EQ(0, std::memcmp(first.data(), "[HOJIN A\0\0\2\0\0\0\0\0\0\0\x80\0", 20));
  EXPECT_EQ(big32(first, 32), 0u);
}

TEST(DemoDisk, EveryWholeHojinReadsBackAsComputed) {
  ScratchImage image("demo_all");
  const DiskDescription disk = demoDisk();
  buildDisk(disk, image.path());
  for (const Recording& r : disk.recordings) {
    for (int k = 1; k <= static_cast<int>(writtenHojinCount(r)); ++k) {
      ASSERT_EQ(readHojinFromImage(image.path(), disk, r, k), expectedHojin(disk, r, k))
          << "slot " << r.slot << " HOJIN " << k;
    }
  }
}

TEST(BenchDisk, SmallBenchRecordingIsFragmentedAndLargeEnough) {
  const DiskDescription disk = benchDisk(3 * 1024 * 1024);
  ASSERT_EQ(disk.recordings.size(), 1u);
  const Recording& r = disk.recordings[0];
  EXPECT_GE(uint64_t{hojinCount(r)} * 33280, 3u * 1024 * 1024);
  EXPECT_EQ(r.lengthSectors % 65, 0u);
  EXPECT_FALSE(contiguous(r));
  EXPECT_EQ(r.blocks.front(), 0u);
  ScratchImage image("bench_small");
  buildDisk(disk, image.path());
  const int last = static_cast<int>(hojinCount(r));
  EXPECT_EQ(big32(readSector(image.path(), hojinSector(disk, r, last)), 56),
            static_cast<uint32_t>(last));
}

TEST(FullDisk, FillsEverySlotWithInterleavedFragmentedRecordingsOnTheDisk) {
  const DiskDescription disk = fullDisk(4ULL << 30);
  ASSERT_EQ(disk.recordings.size(), 2000u);
  EXPECT_NO_THROW(checkDescription(disk));  // slots, entry numbers and blocks each used once
  std::set<uint32_t> lengths;
  uint32_t lastBlock = 0;
  int fragmented = 0;
  for (size_t i = 0; i < disk.recordings.size(); ++i) {
    const Recording& r = disk.recordings[i];
    EXPECT_EQ(r.entryNumber, i);
    EXPECT_GE(r.blocks.size() * 16, (r.lengthSectors + 64) / 65) << "slot " << r.slot;
    lengths.insert(r.lengthSectors);
    fragmented += contiguous(r) ? 0 : 1;
    lastBlock = std::max(lastBlock, r.blocks.back());
  }
  EXPECT_GT(lengths.size(), 100u);
  EXPECT_GT(fragmented, 500);
  // Spread over the whole data area of the 160 GB disk, and no further.
  EXPECT_GT(lastBlock, 290000u);
  EXPECT_LE(static_cast<uint64_t>(blockSector(disk.model, disk.fileFatSize, lastBlock + 1)) * 512,
            disk.imageBytes);
}

void expectRefused(const DiskDescription& disk, const std::string& fragment) {
  ScratchImage image("refused");
  try {
    buildDisk(disk, image.path());
    ADD_FAILURE() << "accepted; expected a refusal mentioning " << fragment;
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(fragment), std::string::npos) << error.what();
  }
}

DiskDescription oneRecording(std::vector<uint32_t> blocks, uint32_t length) {
  DiskDescription disk;
  disk.fileFatSize = 1;
  disk.recordings.emplace_back();
  disk.recordings[0].blocks = std::move(blocks);
  disk.recordings[0].lengthSectors = length;
  return disk;
}

TEST(DescriptionCheck, RefusesWhatCannotBeLaidOut) {
  DiskDescription twice = oneRecording({1}, 65);
  twice.recordings.push_back(twice.recordings[0]);
  twice.recordings[1].entryNumber = 1;
  expectRefused(twice, "slot 0 used twice");

  DiskDescription shared = twice;
  shared.recordings[1].slot = 1;
  expectRefused(shared, "block 1");

  expectRefused(oneRecording({4096}, 65), "no bit");

  DiskDescription missingHojin = oneRecording({1}, 65);
  missingHojin.recordings[0].defects.push_back({2, HeadDefect::WrongOrder});
  expectRefused(missingHojin, "HOJIN 2");

  DiskDescription lateStart = oneRecording({1}, 130);
  lateStart.recordings[0].defects.push_back({2, HeadDefect::NotRecordingStart});
  expectRefused(lateStart, "HOJIN 1 only");

  DiskDescription badSlot = oneRecording({1}, 65);
  badSlot.emptySlots = {2000};
  expectRefused(badSlot, "slot 2000");

  DiskDescription noRegion = oneRecording({1}, 65);
  noRegion.recordings[0].entryNumber = 2000;
  expectRefused(noRegion, "no file-FAT region");

  DiskDescription small = oneRecording({1}, 65);
  small.imageBytes = 1024 * 1024;
  expectRefused(small, "past the image end");
}

TEST(DescriptionCheck, EntryNumberWithoutFatRegionIsListedWhenItsFatIsLeftOut) {
  DiskDescription disk = oneRecording({}, 0);
  disk.recordings[0].entryNumber = 0xFFFE;
  disk.recordings[0].writeFileFat = false;
  ScratchImage image("bignumber");
  buildDisk(disk, image.path());
  EXPECT_EQ(testing::big16(readSector(image.path(), 6598704), 0), 0xFFFE);
}

TEST(BuildDisk, RefusesToWriteOverSomethingThatIsNoRegularFile) {
  EXPECT_THROW(buildDisk(DiskDescription{}, std::string(::testing::TempDir())), std::runtime_error);
}

TEST(BuildDisk, RawSectorsArePokedLastAndByteExact) {
  DiskDescription disk = oneRecording({10}, 65);
  std::vector<uint8_t> bytes(700, 0xA5);
  disk.rawSectors.push_back({6675105, bytes});  // over HOJIN 1's A-sector and into the next
  ScratchImage image("raw");
  buildDisk(disk, image.path());
  EXPECT_EQ(readSector(image.path(), 6675105), std::vector<uint8_t>(512, 0xA5));
  const std::vector<uint8_t> next = readSector(image.path(), 6675106);
  EXPECT_EQ(next[187], 0xA5);
  std::vector<uint8_t> payload(512);
  fillPayload(6675106, payload.data());
  EXPECT_EQ(next[188], payload[188]);
}

TEST(BuildDisk, RebuildingReplacesTheOldImage) {
  ScratchImage image("rebuild");
  buildDisk(oneRecording({10}, 65), image.path());
  DiskDescription smaller = oneRecording({11}, 65);
  smaller.imageBytes = 4ULL * 1024 * 1024 * 1024;
  buildDisk(smaller, image.path());
  struct stat status {};
  ASSERT_EQ(::stat(image.path().c_str(), &status), 0);
  EXPECT_EQ(static_cast<uint64_t>(status.st_size), smaller.imageBytes);
  EXPECT_EQ(readSector(image.path(), 6675105), std::vector<uint8_t>(512, 0));
}

}  // namespace
}  // namespace korvelo::sample

namespace korvelo::sample {
namespace {

TEST(BuildDisk, FailedBuildLeavesNoImageBehind) {
  DiskDescription disk;
  disk.imageBytes = 1024 * 1024;  // too small for the file_system.sys sector
  testing::ScratchImage image("failed");
  EXPECT_THROW(buildDisk(disk, image.path()), std::runtime_error);
  struct stat status {};
  EXPECT_NE(::stat(image.path().c_str(), &status), 0);
}

}  // namespace
}  // namespace korvelo::sample
