// SPDX-License-Identifier: GPL-3.0-or-later
// Sector ranges as the domain keeps them, and the mapfile text made of them.

#include <gtest/gtest.h>

#include <sstream>

#include "disk/mapfile_source.h"
#include "recfs/disk_domain.h"

namespace korvelo {
namespace {

using Ranges = std::map<int64_t, int64_t>;

struct AddCase {
  const char* name;
  std::vector<std::pair<int64_t, int64_t>> added;  // first, count
  Ranges expected;
};

class SectorRangesAdd : public ::testing::TestWithParam<AddCase> {};

TEST_P(SectorRangesAdd, MergesWhatTouchesOrOverlaps) {
  SectorRanges ranges;
  for (const auto& [first, count] : GetParam().added) ranges.add(first, count);
  EXPECT_EQ(ranges.ranges(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SectorRangesAdd,
    ::testing::Values(AddCase{"Disjoint", {{10, 5}, {30, 2}}, {{10, 15}, {30, 32}}},
                      AddCase{"TouchingAfter", {{10, 5}, {15, 5}}, {{10, 20}}},
                      AddCase{"TouchingBefore", {{15, 5}, {10, 5}}, {{10, 20}}},
                      AddCase{"OneSectorGapStays", {{10, 5}, {16, 1}}, {{10, 15}, {16, 17}}},
                      AddCase{"Inside", {{10, 20}, {12, 3}}, {{10, 30}}},
                      AddCase{"SwallowsSeveral", {{10, 2}, {20, 2}, {30, 2}, {5, 40}}, {{5, 45}}},
                      AddCase{"BridgesTwo", {{10, 5}, {20, 5}, {15, 5}}, {{10, 25}}},
                      AddCase{"EmptyAndNegativeIgnored", {{10, 0}, {-3, 5}, {7, -1}}, {}},
                      AddCase{"SectorZero", {{0, 1}, {1, 1}}, {{0, 2}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SectorRanges, ClipCutsTheRangeCrossingTheEndAndDropsThoseBehind) {
  SectorRanges ranges;
  ranges.add(0, 10);
  ranges.add(20, 10);
  ranges.add(40, 10);
  ranges.clipTo(25);
  EXPECT_EQ(ranges.ranges(), (Ranges{{0, 10}, {20, 25}}));
  EXPECT_EQ(ranges.sectorCount(), 15);
  EXPECT_TRUE(ranges.contains(24));
  EXPECT_FALSE(ranges.contains(25));
  EXPECT_FALSE(ranges.contains(10));
  EXPECT_TRUE(ranges.contains(0));
}

TEST(DomainMapfile, BlocksCoverTheDiskInBytesWithTheDomainFinished) {
  SectorRanges ranges;
  ranges.add(16, 16);
  ranges.add(100, 1);
  const std::string text = domainMapfileText(ranges, 1024 * 512, "# Probe\n");
  EXPECT_EQ(text,
            "# Probe\n"
            "# current_pos  current_status  current_pass\n"
            "0x00000000     +     1\n"
            "#      pos        size  status\n"
            "0x00000000  0x00002000  ?\n"
            "0x00002000  0x00002000  +\n"
            "0x00004000  0x00008800  ?\n"
            "0x0000C800  0x00000200  +\n"
            "0x0000CA00  0x00073600  ?\n");
}

TEST(DomainMapfile, DomainAtTheStartAndUpToTheEndLeavesNoEmptyBlocks) {
  SectorRanges ranges;
  ranges.add(0, 4);
  ranges.add(6, 10);  // reaches past the disk's 8 sectors
  const std::string text = domainMapfileText(ranges, 8 * 512, "");
  EXPECT_EQ(text.substr(text.find("status\n") + 7),
            "0x00000000  0x00000800  +\n"
            "0x00000800  0x00000400  ?\n"
            "0x00000C00  0x00000400  +\n");
}

TEST(DomainMapfile, ReadsBackAsTheSameFinishedAreas) {
  SectorRanges ranges;
  ranges.add(16, 16);
  ranges.add(307489, 1);
  ranges.add(6598688, 1);
  std::istringstream text(domainMapfileText(ranges, int64_t{160039272960}, "# x\n"));
  const std::optional<FinishedAreas> areas = parseMapfile(text);
  ASSERT_TRUE(areas.has_value());
  EXPECT_EQ(*areas, (FinishedAreas{{16 * 512, 32 * 512},
                                   {int64_t{307489} * 512, int64_t{307490} * 512},
                                   {int64_t{6598688} * 512, int64_t{6598689} * 512}}));
}

}  // namespace
}  // namespace korvelo
