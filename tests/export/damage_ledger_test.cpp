// SPDX-License-Identifier: GPL-3.0-or-later
// The damage ledger: which runs of zero-filled sectors merge, and the counts worked out
// from its areas; the ".hav" geometry they rest on.
#include "export/damage_ledger.h"

#include <gtest/gtest.h>

#include <vector>

#include "export/hav_geometry.h"

namespace korvelo {
namespace {

constexpr int64_t kFront = 1624;
constexpr int64_t kHojin = 33280;
using S = DamageState;

struct LedgerCase {
  const char* name;
  std::vector<DamagedArea> runs;  // added in this order
  std::vector<DamagedArea> areas;
  int64_t zeroFilled;
  int damagedHojins;
};

class Ledger : public ::testing::TestWithParam<LedgerCase> {};

TEST_P(Ledger, MergesOnlyWhatContinuesOnDiskAndInFileWithOneState) {
  const LedgerCase& c = GetParam();
  DamageLedger ledger;
  for (const DamagedArea& run : c.runs) ledger.add(run);
  EXPECT_EQ(ledger.areas(), c.areas);
  EXPECT_EQ(ledger.zeroFilledSectors(), c.zeroFilled);
  EXPECT_EQ(ledger.damagedHojins(), c.damagedHojins);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Ledger,
    ::testing::Values(
        LedgerCase{"Empty", {}, {}, 0, 0},
        LedgerCase{"NeighboursMerge",
                   {{100, 2, kFront, S::Unreadable}, {102, 3, kFront + 1024, S::Unreadable}},
                   {{100, 5, kFront, S::Unreadable}},
                   5,
                   1},
        LedgerCase{"OtherStateStaysApart",
                   {{100, 2, kFront, S::Unreadable}, {102, 3, kFront + 1024, S::NotTried}},
                   {{100, 2, kFront, S::Unreadable}, {102, 3, kFront + 1024, S::NotTried}},
                   5,
                   1},
        // Next on the disk but not in the file (a HOJIN of another block came between).
        LedgerCase{"FileGapStaysApart",
                   {{100, 2, kFront, S::Unreadable}, {102, 1, kFront + kHojin, S::Unreadable}},
                   {{100, 2, kFront, S::Unreadable}, {102, 1, kFront + kHojin, S::Unreadable}},
                   3,
                   2},
        LedgerCase{"DiskGapStaysApart",
                   {{100, 2, kFront, S::Unreadable}, {500, 1, kFront + 1024, S::Unreadable}},
                   {{100, 2, kFront, S::Unreadable}, {500, 1, kFront + 1024, S::Unreadable}},
                   3,
                   1},
        // An area across three HOJINs, and one out of file order inside the second.
        LedgerCase{"HojinsCountedOnce",
                   {{1000, 131, kFront + kHojin - 512, S::NotTried},
                    {2000, 1, kFront + kHojin + 512, S::Unreadable}},
                   {{1000, 131, kFront + kHojin - 512, S::NotTried},
                    {2000, 1, kFront + kHojin + 512, S::Unreadable}},
                   132,
                   3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Ledger, AResumeKeepsWhatLiesInTheKeptPartAndCountsIt) {
  // Zeros in HOJINs 2 and 5; the file is kept up to the middle of HOJIN 5.
  const DamageLedger earlier(
      std::vector<DamagedArea>{{700, 3, hojinFileOffset(2) + 512, S::Unreadable},
                               {900, 65, hojinFileOffset(5), S::NotTried}});
  const DamageLedger kept = earlier.before(hojinFileOffset(5) + 10 * 512);
  EXPECT_EQ(kept.areas(),
            (std::vector<DamagedArea>{{700, 3, hojinFileOffset(2) + 512, S::Unreadable},
                                      {900, 10, hojinFileOffset(5), S::NotTried}}));
  EXPECT_EQ(kept.zeroFilledSectors(), 13);
  EXPECT_EQ(kept.damagedHojins(), 2);
  EXPECT_TRUE(earlier.before(hojinFileOffset(2)).empty());
  EXPECT_EQ(kept.sectorsIn(S::NotTried), 10);
}

TEST(Ledger, AnAreaFoundLaterTakesItsPlaceInFileOrderAndJoinsItsNeighbour) {
  DamageLedger ledger;
  ledger.add({100, 2, kFront, S::NotTried});
  ledger.add({900, 1, kFront + 4 * kHojin, S::Unreadable});
  ledger.insert({102, 3, kFront + 1024, S::NotTried});  // read after the first pass
  EXPECT_EQ(ledger.areas(),
            (std::vector<DamagedArea>{{100, 5, kFront, S::NotTried},
                                      {900, 1, kFront + 4 * kHojin, S::Unreadable}}));
}

TEST(HavGeometry, OffsetsOfHojinsAndTheHojinOfAnOffset) {
  EXPECT_EQ(hojinFileOffset(1), kFront);
  EXPECT_EQ(hojinFileOffset(3), kFront + 2 * kHojin);
  EXPECT_EQ(hojinAtFileOffset(kFront - 1), 0);
  EXPECT_EQ(hojinAtFileOffset(kFront), 1);
  EXPECT_EQ(hojinAtFileOffset(kFront + kHojin - 1), 1);
  EXPECT_EQ(hojinAtFileOffset(kFront + kHojin), 2);
  EXPECT_EQ(wholeHojinsIn(kFront, 10), 0);
  EXPECT_EQ(wholeHojinsIn(kFront + 2 * kHojin - 1, 10), 1);
  EXPECT_EQ(wholeHojinsIn(kFront + 20 * kHojin, 10), 10);
}

}  // namespace
}  // namespace korvelo
