// SPDX-License-Identifier: GPL-3.0-or-later
// Chaining head-scan blocks into recordings, on block lists made by hand.

#include <gtest/gtest.h>

#include "recfs/rescue_scan.h"

namespace korvelo {
namespace {

HeadBlock start(int64_t block, int extent = 16) {
  return HeadBlock{block, 1, true, extent, 0};
}
HeadBlock part(int64_t block, uint32_t first, int extent = 16) {
  return HeadBlock{block, first, false, extent, 0};
}

TEST(ChainHeadBlocks, TakesTheNearestLaterFreeBlockAndCountsLeftAlternatives) {
  const ChainResult result = chainHeadBlocks({start(0), part(2, 17, 3), part(5, 17, 3)}, 1000);

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 2}));
  EXPECT_EQ(result.recordings[0].hojins, 19);
  EXPECT_EQ(result.recordings[0].ambiguousChoices, 1);
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Probable);
  EXPECT_EQ(result.orphanBlocks, 1);
  EXPECT_EQ(result.recordings[0].sectorOfHojin(17), 1000 + 2 * 1040);
  EXPECT_EQ(result.recordings[0].sectorOfHojin(20), -1);
}

TEST(ChainHeadBlocks, BlocksBeforeTheCurrentOneAreNeverTaken) {
  const ChainResult result = chainHeadBlocks({part(1, 17, 4), start(3)}, 0);

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{3}));
  EXPECT_EQ(result.recordings[0].hojins, 16);
  EXPECT_EQ(result.orphanBlocks, 1);
  EXPECT_FALSE(result.recordings[0].continuationFound);  // the free block lies before
}

TEST(ChainHeadBlocks, AlternativeTakenByALaterChainIsNoAmbiguity) {
  const ChainResult result =
      chainHeadBlocks({start(0), start(1), part(2, 17, 5), part(3, 17, 7)}, 0);

  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 2}));
  EXPECT_EQ(result.recordings[1].blocks, (std::vector<int64_t>{1, 3}));
  EXPECT_EQ(result.recordings[0].ambiguousChoices, 0);
  EXPECT_EQ(result.recordings[1].hojins, 23);
  EXPECT_EQ(result.orphanBlocks, 0);
}

TEST(ChainHeadBlocks, PartlyFilledBlockEndsTheRecording) {
  const ChainResult result = chainHeadBlocks({start(0, 9), part(1, 17)}, 0);

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].hojins, 9);
  EXPECT_FALSE(result.recordings[0].endsOnBlockBoundary);
  EXPECT_EQ(result.orphanBlocks, 1);
}

TEST(ChainHeadBlocks, NoStartsNoRecordings) {
  const ChainResult result = chainHeadBlocks({part(0, 17), part(1, 33)}, 0);
  EXPECT_TRUE(result.recordings.empty());
  EXPECT_EQ(result.orphanBlocks, 2);
}

}  // namespace
}  // namespace korvelo
