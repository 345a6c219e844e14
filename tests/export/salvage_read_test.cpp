// SPDX-License-Identifier: GPL-3.0-or-later
// The salvaging read of one HOJIN: which sectors end up zero, in which state, how many
// reads fail on the way, and when a failure means the drive itself is gone.
#include "export/salvage_read.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "disk/physical_drive.h"
#include "support/memory_source.h"

namespace korvelo {
namespace {

constexpr int64_t kDiskSectors = 1000;

// Sectors that fail with a chosen errno; every failing read is counted.
class ScriptedSource final : public ByteSource {
 public:
  ScriptedSource(std::map<int64_t, int> failing, bool costly, int* failedReads)
      : failing_(std::move(failing)), costly_(costly), failedReads_(failedReads) {}
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    const int64_t first = offset / 512, end = (offset + int64_t(buffer.size()) + 511) / 512;
    for (auto it = failing_.lower_bound(first); it != failing_.end() && it->first < end; ++it) {
      ++*failedReads_;
      return -it->second;
    }
    const int64_t size = kDiskSectors * 512;
    if (offset >= size) return 0;
    const int64_t take = std::min<int64_t>(int64_t(buffer.size()), size - offset);
    std::memset(buffer.data(), 0xAB, size_t(take));
    return take;
  }
  MediaInfo mediaInfo() const override { return {MediaKind::Fixed, 512, kDiskSectors * 512}; }
  bool failuresAreCostly() const override { return costly_; }

 private:
  std::map<int64_t, int> failing_;
  bool costly_;
  int* failedReads_;
};

// Zero-filled sectors of the run, counted from its first.
struct Piece {
  int first;
  int count;
  DamageState state;
};

struct SalvageCase {
  const char* name;
  std::map<int64_t, int> failing;  // sector -> errno, the HOJIN lying at sectors 100 ... 164
  bool costly;
  std::vector<Piece> damage;
  int failedReads;
  bool gone;
};

class SalvageRead : public ::testing::TestWithParam<SalvageCase> {};

TEST_P(SalvageRead, ZerosTheFailingSectorsAndStopsWhereItShould) {
  const SalvageCase& c = GetParam();
  int failedReads = 0;
  test::ScopedTestDrives drives(std::vector<DriveSpec>{DriveSpec{
      "scripted", {}, [&] {
        return std::unique_ptr<ByteSource>(new ScriptedSource(c.failing, c.costly, &failedReads));
      }}});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  std::vector<uint8_t> data(65 * 512, 0x55);
  const SalvageResult result = readSalvaging(drive, 100, 65, data.data());
  std::vector<DamagedArea> expected;
  for (const Piece& piece : c.damage)
    expected.push_back({100 + piece.first, piece.count, piece.first * 512, piece.state});
  EXPECT_EQ(result.damage.areas(), expected);
  EXPECT_EQ(failedReads, c.failedReads);
  EXPECT_EQ(result.driveGone, c.gone);
  for (int i = 0; i < 65; ++i) {
    bool zeroed = false;
    for (const Piece& piece : c.damage) zeroed |= i >= piece.first && i < piece.first + piece.count;
    EXPECT_EQ(data[size_t(i) * 512 + 7], zeroed ? 0x00 : 0xAB) << "sector " << i;
  }
}

using S = DamageState;
INSTANTIATE_TEST_SUITE_P(
    Cases, SalvageRead,
    ::testing::Values(
        SalvageCase{"Healthy", {}, true, {}, 0, false},
        SalvageCase{"TwoApartOnADisk",
                    {{105, EIO}, {107, EIO}},
                    true,
                    {{5, 1, S::Unreadable}, {7, 1, S::Unreadable}},
                    3,
                    false},
        SalvageCase{"TwoInARowOnADiskGiveUp",
                    {{105, EIO}, {106, EIO}},
                    true,
                    {{5, 2, S::Unreadable}, {7, 58, S::NotTried}},
                    3,
                    false},
        SalvageCase{"TwoInARowOnAnImageAreBoth",
                    {{105, EIO}, {106, EIO}},
                    false,
                    {{5, 2, S::Unreadable}},
                    3,
                    false},
        // A drive that is gone is not asked again: the whole HOJIN is left untried.
        SalvageCase{"NoDevice", {{100, ENODEV}}, true, {{0, 65, S::NotTried}}, 1, true},
        SalvageCase{
            "NoSuchAddressInsideTheMedium", {{130, ENXIO}}, true, {{0, 65, S::NotTried}}, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadFailedForGone, AReadPastTheEndIsNoSignOfADriveThatIsGone) {
  auto disk = std::make_shared<test::MemoryDisk>(kDiskSectors * 512);
  test::ScopedTestDrives drives(std::vector<DriveSpec>{test::memoryDrive(disk)});
  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('0'));
  uint8_t sector[2 * 512];
  EXPECT_FALSE(drive.readSectorInto(kDiskSectors - 1, 2, sector));
  EXPECT_FALSE(readFailedForGone(drive, kDiskSectors - 1));
  EXPECT_FALSE(drive.readSectorInto(kDiskSectors, 1, sector));
  EXPECT_FALSE(readFailedForGone(drive, kDiskSectors));
}

}  // namespace
}  // namespace korvelo
