// SPDX-License-Identifier: GPL-3.0-or-later
// Block ownership under file FATs that cross-link more blocks than are named: every
// cross-linked block is counted, the claimants are kept for the first ones only. Every
// recording that shares a block is in doubt, also the one that named it first.

#include "recfs/block_ownership.h"

#include <gtest/gtest.h>

#include "recfs/file_fat_doubt.h"

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

// Entries 4 and 6 share block 2, entries 5 and 6 block 3; entry 5 names one block more
// than its length needs and three beyond the disk. Entries 8 and 9 share block 8199 once
// the claimants of no more blocks are kept.
TEST(BlockOwnership, EveryRecordingThatSharesABlockIsInDoubtWithTheOthersNamed) {
  BlockOwnership ownership(0, 8200);
  const auto add = [&](int number, int64_t needed, std::vector<int64_t> blocks) {
    ownership.add({.entryNumber = number, .fatRead = true, .blocksNeeded = needed}, blocks);
  };
  add(4, 3, {0, 1, 2});
  add(5, 3, {3, 9000, 9001, 9002});
  add(6, 2, {2, 3});
  add(7, 1, {9});
  add(8, 1, {8199});
  for (int64_t block = 10; block < 10 + int64_t{BlockOwnership::kNamedSharedBlocks}; ++block) {
    ownership.claim(block, 100);  // claimants without a recording
    ownership.claim(block, 101);
  }
  add(9, 1, {8199});
  add(10, 1, {2});

  EXPECT_EQ(fileFatDoubt(ownership, 0), "Block 2 gehört auch den Einträgen 6, 10");
  EXPECT_EQ(fileFatDoubt(ownership, 1),
            "Block 3 gehört auch Eintrag 6; die File-FAT nennt 4 Blöcke, die Länge braucht nur "
            "3; 3 Blöcke liegen hinter dem Ende der Festplatte, der erste ist Block 9000");
  EXPECT_EQ(fileFatDoubt(ownership, 2),
            "Block 2 gehört auch den Einträgen 4, 10, insgesamt gehören 2 Blöcke dieser "
            "Aufnahme auch anderen");
  EXPECT_EQ(fileFatDoubt(ownership, 3), "");
  EXPECT_EQ(fileFatDoubt(ownership, 4), "Block 8199 gehört auch einer anderen Aufnahme");
  EXPECT_EQ(fileFatDoubt(ownership, 5), "Block 8199 gehört auch einer anderen Aufnahme");

  // A disk that ends inside block 8, as an image that ddrescue wrote up to the last sector
  // of a recording does: block 8 is begun on it, block 9 is not.
  BlockOwnership endsInside(0, 8, 9);
  endsInside.add({.entryNumber = 1, .fatRead = true, .blocksNeeded = 2}, {7, 8});
  endsInside.add({.entryNumber = 2, .fatRead = true, .blocksNeeded = 1}, {9});
  EXPECT_EQ(fileFatDoubt(endsInside, 0), "");
  EXPECT_EQ(fileFatDoubt(endsInside, 1), "Block 9 liegt hinter dem Ende der Festplatte");
}

}  // namespace
}  // namespace korvelo
