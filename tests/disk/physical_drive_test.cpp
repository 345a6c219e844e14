// SPDX-License-Identifier: GPL-3.0-or-later
// Raw sector reads: 64-bit positions, the end of the medium, failures, opening rules,
// and what a source says about itself.

#include "disk/physical_drive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

using test::ScopedTestDrives;

// 512 bytes that name the sector they belong to, so a read from a wrong position shows.
std::vector<uint8_t> markedSector(int64_t sector) {
  std::vector<uint8_t> bytes(512);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t((sector * 7 + int64_t(i)) % 251);
  std::memcpy(bytes.data(), &sector, sizeof sector);
  return bytes;
}

std::vector<uint8_t> asVector(const uint8_t* data, size_t size) {
  return std::vector<uint8_t>(data, data + size);
}

class PhysicalDriveTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(PhysicalDriveTest, ReadsAcrossTheFourGibibyteMark) {
  const std::string image = dir_.file("big.img");
  test::createSparseFile(image, int64_t{5} << 30);
  for (int64_t s : {int64_t{6662704}, int64_t{8388607}, int64_t{8388608}}) {
    test::writeBytesAt(image, s * 512, markedSector(s));
  }
  ScopedTestDrives drives(std::vector<std::string>{image});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));

  auto atMark = drive.readSector(8388608, 1);
  ASSERT_TRUE(atMark);
  EXPECT_EQ(asVector(atMark.get(), 512), markedSector(8388608));

  auto below = drive.readSector(6662704, 1);  // byte 3411304448
  ASSERT_TRUE(below);
  EXPECT_EQ(asVector(below.get(), 512), markedSector(6662704));

  std::vector<uint8_t> both(1024);
  ASSERT_TRUE(drive.readSectorInto(8388607, 2, both.data()));
  EXPECT_EQ(asVector(both.data(), 512), markedSector(8388607));
  EXPECT_EQ(asVector(both.data() + 512, 512), markedSector(8388608));
}

// Ten and a half sectors: every read that needs a byte past the end fails, also one that
// starts inside and the half sector itself, so no missing sector passes for zeros.
TEST_F(PhysicalDriveTest, ReadReachingPastTheEndFails) {
  const std::string image = dir_.file("odd.img");
  test::writeFileBytes(image, std::vector<uint8_t>(10 * 512 + 200, 0xAA));
  ScopedTestDrives drives(std::vector<std::string>{image});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  std::vector<uint8_t> buffer(4 * 512);
  for (const auto& [sector, count] : {std::pair{9, 3}, {10, 1}, {11, 4}, {8, 4}}) {
    SCOPED_TRACE(testing::Message() << sector << " x " << count);
    EXPECT_FALSE(drive.readSectorInto(sector, count, buffer.data()));
    EXPECT_EQ(drive.lastError(), kReadPastEndError);
  }
  ASSERT_TRUE(drive.readSectorInto(8, 2, buffer.data()));
  EXPECT_EQ(buffer[2 * 512 - 1], 0xAA);
  EXPECT_EQ(drive.lastError(), 0);
  EXPECT_FALSE(drive.readSector(-1, 1));
  // A sector number whose byte position does not fit into 64 bits.
  EXPECT_FALSE(drive.readSector(INT64_MAX / 512, 1));
  EXPECT_EQ(drive.lastError(), EINVAL);
}

TEST_F(PhysicalDriveTest, NoReadReachesTheDeviceForCountZeroOrAClosedDrive) {
  auto disk = std::make_shared<test::MemoryDisk>(1 << 20);
  ScopedTestDrives drives({test::memoryDrive(disk)});
  PhysicalDrive closed;
  EXPECT_FALSE(closed.readSector(0, 1));
  std::vector<uint8_t> buffer(512);
  EXPECT_FALSE(closed.readSectorInto(0, 1, buffer.data()));

  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  EXPECT_FALSE(drive.readSector(0, 0));
  EXPECT_FALSE(drive.readSector(0, -3));
  EXPECT_FALSE(drive.readSectorInto(0, 0, buffer.data()));
  EXPECT_FALSE(drive.readSectorInto(0, 1, nullptr));
  EXPECT_EQ(disk->readCalls(), 0);
  EXPECT_TRUE(drive.readSector(0, 1));
  EXPECT_GT(disk->readCalls(), 0);
}

TEST_F(PhysicalDriveTest, UnreadableSectorFailsTheWholeRead) {
  auto disk = std::make_shared<test::MemoryDisk>(1 << 20);
  disk->write(6 * 512, markedSector(6));
  ScopedTestDrives drives({DriveSpec{"<bad>", {}, [disk]() -> std::unique_ptr<ByteSource> {
                                       return std::make_unique<test::FailingSource>(
                                           std::make_unique<test::MemorySource>(disk),
                                           std::set<int64_t>{5});
                                     }}});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  EXPECT_FALSE(drive.readSector(4, 2));
  EXPECT_EQ(drive.lastError(), EIO);
  auto after = drive.readSector(6, 1);
  ASSERT_TRUE(after);
  EXPECT_EQ(asVector(after.get(), 512), markedSector(6));
  EXPECT_EQ(drive.lastError(), 0);
}

// Every read is timed: the failing ones and their time, the slow ones and the longest, for
// the caller that takes them and since the drive last gave what was asked of it.
TEST_F(PhysicalDriveTest, ReadsAreTimedAndCounted) {
  auto disk = std::make_shared<test::MemoryDisk>(1 << 20);
  ScopedTestDrives drives({DriveSpec{"<bad>", {}, [disk]() -> std::unique_ptr<ByteSource> {
                                       return std::make_unique<test::FailingSource>(
                                           std::make_unique<test::MemorySource>(disk),
                                           std::set<int64_t>{5});
                                     }}});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  int64_t now = 0, next = 0;
  bool started = false;
  drive.setClock([&] {
    if (started) now += next;
    started = !started;
    return now;
  });
  auto read = [&](int64_t sector, int64_t millis) {
    next = millis;
    return drive.readSector(sector, 1) != nullptr;
  };
  EXPECT_FALSE(read(5, 2500));
  EXPECT_TRUE(read(6, 2001));
  EXPECT_FALSE(read(5, 700));
  const ReadCosts costs = drive.takeCosts();
  EXPECT_EQ(costs.failingReads, 2);
  EXPECT_EQ(costs.failingMillis, 3200);
  EXPECT_EQ(costs.slowReads, 2);  // more than 2000 ms
  EXPECT_EQ(costs.longestMillis, 2500);
  EXPECT_EQ(drive.takeCosts().failingReads, 0);
  EXPECT_EQ(drive.failureStreak().failingMillis, 3200);
  drive.endFailureStreak();
  EXPECT_TRUE(read(6, 2000));
  EXPECT_EQ(drive.failureStreak().failingReads, 0);
  EXPECT_EQ(drive.takeCosts().slowReads, 0);  // 2000 ms is not slow yet
}

// When a drive is taken for gone: failing reads in a row (sector 5 fails, 6 reads, each
// read `millis` long) up to the budget, or one read that found no device at all. An image's
// failures (an image read through its mapfile fails wherever the rescue did not reach) are
// no sign of a dying disk.
struct GoneCase {
  const char* name;
  std::vector<int64_t> sectors;  // read in this order
  int64_t millis;
  int error;  // what the failing reads give: EIO or ENODEV
  bool gone;
  bool disk = true;  // the failing source stands for a disk, not an image
};

class DriveGone : public PhysicalDriveTest, public ::testing::WithParamInterface<GoneCase> {};

TEST_P(DriveGone, AfterTheBudgetOfFailingReadsInARowOrAMissingDevice) {
  const GoneCase& c = GetParam();
  auto disk = std::make_shared<test::MemoryDisk>(1 << 20);
  ScopedTestDrives drives({DriveSpec{"<bad>", {}, [&]() -> std::unique_ptr<ByteSource> {
                                       if (c.error == EIO) {
                                         auto failing = std::make_unique<test::FailingSource>(
                                             std::make_unique<test::MemorySource>(disk),
                                             std::set<int64_t>{5});
                                         if (c.disk) failing->standForADisk();
                                         return failing;
                                       }
                                       return std::make_unique<test::GoneSource>();
                                     }}});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  int64_t now = 0;
  drive.setClock([&] { return now += c.millis; });  // each read takes `millis`
  for (int64_t sector : c.sectors) drive.readSector(sector, 1);
  EXPECT_EQ(drive.answersNoMore(), c.gone);
  ASSERT_TRUE(drive.open('0'));
  EXPECT_FALSE(drive.answersNoMore()) << "a new open starts afresh";
}

std::vector<int64_t> repeated(int64_t sector, int times, std::vector<int64_t> then = {}) {
  std::vector<int64_t> sectors(size_t(times), sector);
  sectors.insert(sectors.end(), then.begin(), then.end());
  return sectors;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriveGone,
    ::testing::Values(
        GoneCase{"ThirtyOneFailures", repeated(5, 31), 10, EIO, false},
        GoneCase{"ThirtyTwoFailures", repeated(5, 32), 10, EIO, true},
        GoneCase{"ThirtyTwoFailuresOfAnImage", repeated(5, 32), 10, EIO, false, false},
        GoneCase{"AGoodReadStartsTheCountAgain", repeated(5, 31, {6, 5}), 10, EIO, false},
        GoneCase{"SixtySecondsOfFailures", repeated(5, 2), 30000, EIO, true},
        GoneCase{"NoDevice", {6}, 0, ENODEV, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PhysicalDriveTest, OpensTheEntryNamedByTheDigit) {
  std::vector<std::string> images;
  for (int i = 0; i < 4; ++i) {
    images.push_back(dir_.file("d" + std::to_string(i) + ".img"));
    test::writeFileBytes(images.back(), std::vector<uint8_t>(512, uint8_t(0x30 + i)));
  }
  ScopedTestDrives drives(images);
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('3'));
  EXPECT_EQ(drive.getDriveChar(), '3');
  auto sector = drive.readSector(0, 1);
  ASSERT_TRUE(sector);
  EXPECT_EQ(sector[0], 0x33);
}

TEST_F(PhysicalDriveTest, LettersAreStoredUpperCaseAndDoNotOpen) {
  const std::string image = dir_.file("d.img");
  test::writeFileBytes(image, std::vector<uint8_t>(512, 1));
  ScopedTestDrives drives(std::vector<std::string>{image});
  PhysicalDrive drive;
  EXPECT_FALSE(drive.open('c'));
  EXPECT_EQ(drive.getDriveChar(), 'C');
  EXPECT_FALSE(drive.isOpen());
}

TEST_F(PhysicalDriveTest, FailedSecondOpenLeavesTheDriveClosed) {
  const std::string image = dir_.file("d.img");
  test::writeFileBytes(image, std::vector<uint8_t>(512, 1));
  ScopedTestDrives drives(std::vector<std::string>{image});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  EXPECT_FALSE(drive.open('7'));
  EXPECT_FALSE(drive.isOpen());
  EXPECT_EQ(drive.getDriveChar(), '7');
  EXPECT_FALSE(drive.readSector(0, 1));
  EXPECT_EQ(drive.source(), nullptr);
}

TEST_F(PhysicalDriveTest, ImageFileIsAFixedDiskOfItsSize) {
  const std::string image = dir_.file("d.img");
  test::createSparseFile(image, 160039272960);
  ScopedTestDrives drives(std::vector<std::string>{image});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  const MediaInfo media = drive.source()->mediaInfo();
  EXPECT_EQ(media.kind, MediaKind::Fixed);
  EXPECT_EQ(media.bytesPerSector, 512);
  EXPECT_EQ(media.sizeBytes, 160039272960);

  struct stat status {};
  ASSERT_EQ(::stat(image.c_str(), &status), 0);
  const auto identity = drive.source()->identity();
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->device, status.st_dev);
  EXPECT_EQ(identity->inode, status.st_ino);
}

TEST_F(PhysicalDriveTest, CharacterDeviceAndFolderAreNotDisks) {
  ScopedTestDrives drives(std::vector<std::string>{"/dev/null", dir_.path()});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  EXPECT_EQ(drive.source()->mediaInfo().kind, MediaKind::NotADisk);
  EXPECT_FALSE(drive.readSector(0, 1));  // nothing to read: starts at the end
  if (drive.open('1')) {
    EXPECT_EQ(drive.source()->mediaInfo().kind, MediaKind::NotADisk);
    EXPECT_FALSE(drive.readSector(0, 1));
  }
}

TEST_F(PhysicalDriveTest, MissingImageDoesNotOpen) {
  ScopedTestDrives drives(std::vector<std::string>{dir_.file("absent.img")});
  PhysicalDrive drive;
  EXPECT_FALSE(drive.open('0'));
  EXPECT_EQ(drive.lastError(), ENOENT);
}

// A descriptor handed over by someone else reads as the path does, for every probe
// that opens and closes the drive; one open for writing (or not a disk) is never used.
TEST_F(PhysicalDriveTest, HandedDescriptorReadsAsThePathAndOnlyWhenReadOnly) {
  const std::string image = dir_.file("d.img");
  test::createSparseFile(image, 64 * 512);
  test::writeBytesAt(image, 40 * 512, markedSector(40));
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ::close(pipeEnds[1]);
  struct Case {
    int fd;
    int error;  // of the open; 0: opens and reads sector 40
  };
  const std::vector<Case> cases = {
      {::open(image.c_str(), O_RDONLY | O_CLOEXEC), 0},
      {::open(image.c_str(), O_RDWR | O_CLOEXEC), EROFS},
      {::open(image.c_str(), O_WRONLY | O_CLOEXEC), EROFS},
      {::open(dir_.path().c_str(), O_RDONLY | O_CLOEXEC), EISDIR},
      {pipeEnds[0], ENODEV},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    DriveSpec handed{"/dev/sdb", {}, {}, std::make_shared<const PosixFile>(c.fd)};
    ScopedTestDrives drives({handed});
    for (int open = 0; open < 2; ++open) {
      PhysicalDrive drive;
      EXPECT_EQ(drive.open('0'), c.error == 0);
      EXPECT_EQ(drive.lastError(), c.error);
      EXPECT_EQ(DriveTable::lastAttempt('0')->path, "/dev/sdb");
      EXPECT_EQ(DriveTable::lastAttempt('0')->error, c.error);
      if (c.error != 0) continue;
      const auto sector = drive.readSector(40, 1);
      ASSERT_TRUE(sector);
      EXPECT_EQ(asVector(sector.get(), 512), markedSector(40));
    }
  }
}

}  // namespace
}  // namespace korvelo
