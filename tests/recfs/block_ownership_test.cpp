// SPDX-License-Identifier: GPL-3.0-or-later
// Block ownership under file FATs that cross-link more blocks than are named: every
// cross-linked block is counted, the claimants are kept for the first ones only.

#include "recfs/block_ownership.h"

#include <gtest/gtest.h>

namespace korvelo {
namespace {

TEST(BlockOwnership, ClaimantsAreKeptForTheFirstCrossLinkedBlocksAndAllAreCounted) {
  constexpr int64_t kNamed = BlockOwnership::kNamedSharedBlocks;
  BlockOwnership ownership(0, kNamed + 10);
  for (int64_t block = 0; block < kNamed + 10; ++block) {
    ownership.claim(block, 0);
    ownership.claim(block, 1);
  }
  ownership.claim(0, 2);       // a third claimant of a named block is added
  ownership.claim(kNamed, 2);  // of a block beyond the bound, only counted once
  ownership.claim(kNamed + 9, 1);

  EXPECT_EQ(ownership.sharedBlockCount(), kNamed + 10);
  ASSERT_EQ(ownership.sharedBlocks().size(), size_t(kNamed));
  EXPECT_EQ(ownership.sharedBlocks().begin()->second, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(ownership.sharedBlocks().rbegin()->first, kNamed - 1);
  EXPECT_EQ(ownership.ownerOf(kNamed + 9), BlockOwnership::kShared);
  EXPECT_EQ(ownership.freeBlocks(), 0);
}

}  // namespace
}  // namespace korvelo
