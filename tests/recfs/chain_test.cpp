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

TEST(ChainHeadBlocks, TakesTheNearestLaterFreeBlockAndNamesTheOtherAsAlternative) {
  const ChainResult result = chainHeadBlocks({start(0), part(2, 17, 3), part(5, 17, 3)}, 1000);

  ASSERT_EQ(result.recordings.size(), 1u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 2}));
  EXPECT_EQ(result.recordings[0].hojins, 19);
  EXPECT_EQ(result.recordings[0].ambiguousChoices, 1);
  ASSERT_EQ(result.recordings[0].alternatives.size(), 1u);
  const ChainAlternative& link = result.recordings[0].alternatives[0];
  EXPECT_EQ(link.hojin, 17u);
  EXPECT_EQ(link.afterBlock, 0);
  EXPECT_EQ(link.chosenBlock, 2);
  EXPECT_EQ(link.otherBlocks, (std::vector<int64_t>{5}));
  EXPECT_FALSE(link.couldEnd);
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Uncertain);
  EXPECT_EQ(result.recordings[0].doubts().back(),
            "mehrdeutig nach Block 0: Block 2 genommen, Block 5 passt auch");
  EXPECT_EQ(result.recordings[0].spliceDoubt(),
            "Kette unsicher, die Blöcke können zu verschiedenen Aufnahmen gehören: mehrdeutig "
            "nach Block 0: Block 2 genommen, Block 5 passt auch");
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

// Both starts lie before both continuations: 0-2 / 1-3 fits the heads as well as 0-3 /
// 1-2. A block that the other chain took is still an alternative.
TEST(ChainHeadBlocks, AlternativeTakenByAnotherChainLeavesBothUncertain) {
  const ChainResult result =
      chainHeadBlocks({start(0), start(1), part(2, 17, 5), part(3, 17, 7)}, 0);

  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 2}));
  EXPECT_EQ(result.recordings[1].blocks, (std::vector<int64_t>{1, 3}));
  EXPECT_EQ(result.recordings[1].hojins, 23);
  EXPECT_EQ(result.orphanBlocks, 0);
  for (const RescuedRecording& recording : result.recordings) {
    EXPECT_EQ(recording.confidence(), Confidence::Uncertain);
    ASSERT_EQ(recording.alternatives.size(), 1u);
  }
  EXPECT_EQ(result.recordings[0].alternatives[0].otherBlocks, (std::vector<int64_t>{3}));
  EXPECT_EQ(result.recordings[1].alternatives[0].otherBlocks, (std::vector<int64_t>{2}));
}

// Recording B (3, 4) lies inside A (0, 2, 5): B's start comes after A's second block, so
// only one way fits.
TEST(ChainHeadBlocks, OrderOnTheDiskSettlesInterleavedChains) {
  const ChainResult result =
      chainHeadBlocks({start(0), part(2, 17), start(3), part(4, 17, 4), part(5, 33, 8)}, 0);

  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 2, 5}));
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Certain);
  EXPECT_EQ(result.recordings[1].blocks, (std::vector<int64_t>{3, 4}));
  EXPECT_EQ(result.recordings[1].confidence(), Confidence::Certain);
}

// Block 17 is carried by 1 and 3, and both lie after 0; but 3 is the only one left
// for 2, so 0 is followed by 1.
TEST(ChainHeadBlocks, BlockThatOnlyOneChainCanTakeSettlesTheOthers) {
  const ChainResult result =
      chainHeadBlocks({start(0), part(1, 17, 3), start(2), part(3, 17, 6)}, 0);

  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 1}));
  EXPECT_EQ(result.recordings[1].blocks, (std::vector<int64_t>{2, 3}));
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Certain);
  EXPECT_EQ(result.recordings[1].confidence(), Confidence::Certain);
}

// A full block ending a chain while a later block could continue it: the other chain
// took that block, but the heads cannot tell which of the two it belongs to.
TEST(ChainHeadBlocks, FullEndWithALaterCandidateIsUncertain) {
  const ChainResult result = chainHeadBlocks({start(0), start(1), part(2, 17, 5)}, 0);

  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[0].blocks, (std::vector<int64_t>{0, 2}));
  EXPECT_EQ(result.recordings[1].blocks, (std::vector<int64_t>{1}));
  ASSERT_EQ(result.recordings[0].alternatives.size(), 1u);
  EXPECT_TRUE(result.recordings[0].alternatives[0].couldEnd);
  ASSERT_EQ(result.recordings[1].alternatives.size(), 1u);
  EXPECT_EQ(result.recordings[1].alternatives[0].chosenBlock, -1);
  EXPECT_EQ(result.recordings[1].alternatives[0].otherBlocks, (std::vector<int64_t>{2}));
  EXPECT_EQ(result.recordings[1].doubts()[0],
            "mehrdeutig nach Block 1: Ende angenommen, Block 2 passt auch");
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Uncertain);
  EXPECT_EQ(result.recordings[1].confidence(), Confidence::Uncertain);
}

// Block 0 looks 9 HOJINs long, but heads after its ninth could not be read: it may be
// full, and then block 2 may be its continuation rather than block 1's.
TEST(ChainHeadBlocks, BlockWithUnreadableLastHeadsMayContinue) {
  HeadBlock first = start(0, 9);
  first.mayContinue = true;
  const ChainResult unsure = chainHeadBlocks({first, start(1), part(2, 17, 5)}, 0);
  ASSERT_EQ(unsure.recordings.size(), 2u);
  EXPECT_EQ(unsure.recordings[1].blocks, (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(unsure.recordings[1].confidence(), Confidence::Uncertain);

  const ChainResult sure = chainHeadBlocks({start(0, 9), start(1), part(2, 17, 5)}, 0);
  EXPECT_EQ(sure.recordings[1].confidence(), Confidence::Certain);
}

// A block without one readable head could be any chain's continuation; a chain of one
// partly filled block has no link it could spoil.
TEST(ChainHeadBlocks, UnreadableBlocksLeaveEveryLinkUncertain) {
  const ChainResult result = chainHeadBlocks({start(0), part(1, 17, 3), start(4, 6)}, 0, 2);

  ASSERT_EQ(result.recordings.size(), 2u);
  EXPECT_EQ(result.recordings[0].unreadableBlocks, 2);
  EXPECT_EQ(result.recordings[0].confidence(), Confidence::Uncertain);
  EXPECT_EQ(result.recordings[0].doubts().back(), "2 unlesbare Blöcke könnten dazugehören");
  EXPECT_EQ(result.recordings[1].unreadableBlocks, 0);
  EXPECT_EQ(result.recordings[1].confidence(), Confidence::Certain);
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
