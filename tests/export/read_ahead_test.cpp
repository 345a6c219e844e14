// SPDX-License-Identifier: GPL-3.0-or-later
// The read-ahead hints of an export: which disk ranges the job announces, when, and that
// the hints change nothing in the file; and how the drive passes a hint on.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "disk/mapfile_source.h"
#include "disk/physical_drive.h"
#include "diskbuilder/entry_image.h"
#include "diskbuilder/layout.h"
#include "export/export_fixture.h"
#include "support/file_util.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using sample::Recording;
using test::recordingOf;

using Range = std::pair<int64_t, int64_t>;  // byte offset, byte length

// Reads an image and keeps every hint it is given.
class HintRecordingSource final : public ByteSource {
 public:
  HintRecordingSource(std::unique_ptr<ByteSource> inner, std::shared_ptr<std::vector<Range>> hints)
      : inner_(std::move(inner)), hints_(std::move(hints)) {}
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    return inner_->readAt(offset, buffer);
  }
  MediaInfo mediaInfo() const override { return inner_->mediaInfo(); }
  void adviseSequential(int64_t offset, int64_t length) override {
    hints_->emplace_back(offset, length);
  }

 private:
  std::unique_ptr<ByteSource> inner_;
  std::shared_ptr<std::vector<Range>> hints_;
};

class ReadAhead : public ::testing::Test {
 protected:
  void open(const Recording& recording) {
    description.fileFatSize = 1;
    description.imageBytes = uint64_t{8} << 30;
    description.recordings = {recording};
    sample::buildDisk(description, image);
    DriveSpec driveSpec;
    driveSpec.path = image;
    driveSpec.factory = [path = image, hints = hints] {
      return std::make_unique<HintRecordingSource>(openPathSource(path), hints);
    };
    drives.emplace(std::vector<DriveSpec>{driveSpec});
    disk = std::make_unique<Fsr5000Disk>('0');
    disk->setSizeFileFAT(description.fileFatSize);
    ASSERT_TRUE(disk->readDirectory(false));
    job = std::make_unique<HavExportJob>(*disk);
    job->setFreeSpaceQuery([](const std::string&) { return FreeSpace{uint64_t{1} << 50, 0}; });
    auto chooser = test::ScriptedChooser::choosing(output);
    std::string folder = dir.path();
    ASSERT_EQ(job->prepareSave(*disk->getEntries().at(0), chooser, nullptr, folder, 4, false), 0);
  }

  // The bytes of HOJINs first ... last (from 1) when they lie one after another.
  Range hojins(int first, int last) const {
    const Recording& recording = description.recordings[0];
    return {sample::hojinSector(description, recording, first) * 512,
            (last - first + 1) * int64_t{33280}};
  }

  // The whole file, the way the builder laid the recording out.
  std::vector<uint8_t> expectedFile() const {
    std::vector<uint8_t> file = test::handMadeHead(description.recordings[0]);
    const std::vector<uint8_t> entry = sample::entryImage(description.recordings[0]);
    file.insert(file.end(), entry.begin(), entry.end());
    const int count = static_cast<int>(description.recordings[0].lengthSectors / 65);
    for (int k = 1; k <= count; ++k) {
      const std::vector<uint8_t> hojin =
          sample::expectedHojin(description, description.recordings[0], k);
      file.insert(file.end(), hojin.begin(), hojin.end());
    }
    return file;
  }

  test::TempDir dir;
  std::string image = dir.file("recorder.img");
  std::string output = dir.file("aufnahme.hav");
  DiskDescription description;
  std::shared_ptr<std::vector<Range>> hints = std::make_shared<std::vector<Range>>();
  std::optional<test::ScopedTestDrives> drives;
  std::unique_ptr<Fsr5000Disk> disk;
  std::unique_ptr<HavExportJob> job;
};

std::vector<uint32_t> blocksFrom(uint32_t first, uint32_t count) {
  std::vector<uint32_t> blocks(count);
  std::iota(blocks.begin(), blocks.end(), first);
  return blocks;
}

TEST_F(ReadAhead, EachRunOfFollowingHojinsIsAnnouncedOnceWithTheFirstCopyStep) {
  // Blocks 3-5, 9 and 12-13: 96 HOJINs in three runs.
  open(recordingOf(0, {3, 4, 5, 9, 12, 13}, 96 * 65));
  ASSERT_EQ(job->openFile(), 0);
  EXPECT_TRUE(hints->empty()) << "a job that only opened its file must not fill the cache";
  job->copyStep(true);
  EXPECT_EQ(*hints, (std::vector<Range>{hojins(2, 48), hojins(49, 64), hojins(65, 96)}));
  test::copyToEnd(*job);
  EXPECT_EQ(hints->size(), 3u);
  EXPECT_EQ(test::readFileBytes(output), expectedFile());
}

TEST_F(ReadAhead, ALongRunIsAnnouncedPieceByPieceWithoutGapsOrRepeats) {
  open(recordingOf(0, blocksFrom(2, 40), 640 * 65));
  ASSERT_EQ(job->openFile(), 0);
  test::copyToEnd(*job);
  ASSERT_GE(hints->size(), 4u);
  // Together the hints cover HOJINs 2 ... 640 once, in order.
  Range covered = hojins(2, 2);
  covered.second = 0;
  for (const Range& hint : *hints) {
    EXPECT_EQ(hint.first, covered.first + covered.second);
    covered.second += hint.second;
  }
  EXPECT_EQ(covered, hojins(2, 640));
  EXPECT_EQ(test::readFileBytes(output), expectedFile());
}

TEST(DriveHint, IsPassedOnInBytesAndIgnoredOutOfRangeOrWhenClosed) {
  auto hints = std::make_shared<std::vector<Range>>();
  auto memory = std::make_shared<test::MemoryDisk>(int64_t{1} << 30);
  DriveSpec driveSpec;
  driveSpec.factory = [memory, hints] {
    return std::make_unique<HintRecordingSource>(std::make_unique<test::MemorySource>(memory),
                                                 hints);
  };
  test::ScopedTestDrives drives(std::vector<DriveSpec>{driveSpec});
  PhysicalDrive closed;
  closed.adviseSequential(0, 65);
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  drive.adviseSequential(1000, 65);
  drive.adviseSequential(-1, 65);
  drive.adviseSequential(1000, 0);
  drive.adviseSequential(INT64_MAX / 512, 2);
  EXPECT_EQ(*hints, (std::vector<Range>{{1000 * 512, 65 * 512}}));
}

TEST(DriveHint, ReachesTheImageBehindAMapfile) {
  auto hints = std::make_shared<std::vector<Range>>();
  auto memory = std::make_shared<test::MemoryDisk>(int64_t{1} << 20);
  MapfileSource source(
      std::make_unique<HintRecordingSource>(std::make_unique<test::MemorySource>(memory), hints),
      FinishedAreas{{0, 4096}});
  source.adviseSequential(8192, 33280);
  EXPECT_EQ(*hints, (std::vector<Range>{{8192, 33280}}));
}

}  // namespace
}  // namespace korvelo
