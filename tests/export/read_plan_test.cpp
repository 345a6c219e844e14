// SPDX-License-Identifier: GPL-3.0-or-later
// The read plan over recordings with dead areas: which HOJINs are read, jumped over and
// trimmed, what stays not tried, and how many reads fail on the way (a Read of a dead
// HOJIN as the copy does it: the HOJIN, then two sectors; a probe or a trim: one read).
#include "export/read_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace korvelo {
namespace {

struct PlanRun {
  std::vector<HojinRun> notTried;
  std::vector<int> jumps;  // the step of each jump, in order
  std::set<int> read;      // HOJINs whose bytes reached the file (first pass or trim)
  int failingReads = 0;
  int firstPassFailingReads = 0;
};

bool dead(const std::vector<HojinRun>& areas, int k) {
  for (const HojinRun& area : areas)
    if (k >= area.first && k <= area.last) return true;
  return false;
}

PlanRun simulate(int hojins, const std::vector<HojinRun>& deadAreas, bool jumping = true) {
  ReadPlan plan(hojins, jumping);
  PlanRun run;
  for (int k = 1; k <= hojins; ++k) {
    const ReadPlan::Move move = plan.next(k);
    if (move == ReadPlan::Move::Skip) continue;
    if (!dead(deadAreas, k)) {
      run.read.insert(k);
      plan.outcome(k, ReadPlan::Outcome::Good);
      continue;
    }
    run.failingReads += move == ReadPlan::Move::Read ? 3 : 1;
    plan.outcome(k, ReadPlan::Outcome::Failed);
    if (plan.currentJump() > 0) run.jumps.push_back(plan.currentJump());
  }
  run.firstPassFailingReads = run.failingReads;
  while (const std::optional<int> k = plan.nextTrim()) {
    const bool good = !dead(deadAreas, *k);
    if (good) run.read.insert(*k);
    run.failingReads += good ? 0 : 1;
    plan.trimmed(*k, good);
  }
  run.notTried = plan.notTried();
  return run;
}

// Every HOJIN that is not dead ends up in the file, whichever way it was reached.
void expectEveryLivingHojinRead(const PlanRun& run, int hojins,
                                const std::vector<HojinRun>& deadAreas) {
  for (int k = 1; k <= hojins; ++k)
    if (!dead(deadAreas, k)) EXPECT_TRUE(run.read.count(k)) << "HOJIN " << k;
}

struct PlanCase {
  const char* name;
  int hojins;
  std::vector<HojinRun> deadAreas;
  std::vector<HojinRun> notTried;
  std::vector<int> jumps;
  int failingReads;
};

class ReadPlanTable : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ReadPlanTable, ReadsTheGoodFirstAndLeavesOnlyTheDeadNotTried) {
  const PlanCase& c = GetParam();
  const PlanRun run = simulate(c.hojins, c.deadAreas);
  EXPECT_EQ(run.notTried, c.notTried);
  EXPECT_EQ(run.jumps, c.jumps);
  EXPECT_EQ(run.failingReads, c.failingReads);
  expectEveryLivingHojinRead(run, c.hojins, c.deadAreas);
}

INSTANTIATE_TEST_SUITE_P(
    Areas, ReadPlanTable,
    ::testing::Values(
        PlanCase{"Healthy", 20, {}, {}, {}, 0},
        // One dead HOJIN: the one after it is jumped over, the probe reads, the trim gets it.
        PlanCase{"OneDeadHojin", 20, {{10, 10}}, {}, {1}, 3},
        // 40 dead HOJINs: probes at 12, 15, 20, 29, 46 fail, 79 reads; the trim reads
        // back from 78 to 50 and stops at 49. Of the dead ones, 10 was read sector by sector.
        PlanCase{"FortyDead", 120, {{10, 49}}, {{11, 49}}, {1, 2, 4, 8, 16, 32}, 3 + 5 + 1},
        // A dead area up to the end: the trim begins at the end and stops at once.
        PlanCase{"DeadToTheEnd", 120, {{100, 120}}, {{101, 120}}, {1, 2, 4, 8, 16}, 3 + 4 + 1},
        // Two dead areas: the step starts again at 1 after the probe that read.
        PlanCase{"TwoAreas",
                 100,
                 {{10, 14}, {60, 62}},
                 {{11, 14}, {61, 62}},
                 {1, 2, 1, 2},
                 (3 + 1 + 1) + (3 + 1 + 1)},
        // The last HOJIN dead: nothing left to jump over.
        PlanCase{"LastDead", 20, {{20, 20}}, {}, {1}, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// The cost of a dead area grows with the logarithm of its size, up to the longest jump.
TEST(ReadPlan, ADeadAreaCostsLogarithmicallyManyFailingReads) {
  for (int size : {1, 10, 100, 1000, 3000}) {
    SCOPED_TRACE(size);
    const int hojins = 100 + size + 3000;
    const std::vector<HojinRun> deadAreas = {{100, 100 + size - 1}};
    const PlanRun run = simulate(hojins, deadAreas);
    const int probes = static_cast<int>(std::ceil(std::log2(size + 1)));
    EXPECT_LE(run.firstPassFailingReads, 3 + probes);
    EXPECT_LE(run.failingReads, run.firstPassFailingReads + 1);  // one failing trim at most
    expectEveryLivingHojinRead(run, hojins, deadAreas);
    for (int jump : run.jumps) EXPECT_LE(jump, ReadPlan::kLongestJump);
  }
}

// Far beyond the longest jump, the probes come every kLongestJump + 1 HOJINs.
TEST(ReadPlan, TheJumpIsCapped) {
  const PlanRun run = simulate(20000, {{100, 19000}});
  ASSERT_GT(run.jumps.size(), 11u);
  EXPECT_EQ(run.jumps[10], ReadPlan::kLongestJump);
  EXPECT_EQ(run.jumps.back(), ReadPlan::kLongestJump);
  EXPECT_EQ(run.notTried, (std::vector<HojinRun>{{101, 19000}}));
}

// An image fails at no cost: every HOJIN is read, none jumped over.
TEST(ReadPlan, WithoutJumpingEveryHojinIsRead) {
  const PlanRun run = simulate(120, {{10, 49}}, false);
  EXPECT_TRUE(run.notTried.empty());
  EXPECT_TRUE(run.jumps.empty());
  EXPECT_EQ(run.failingReads, 40 * 3);
}

// A HOJIN with some sectors that read is no failure: nothing is jumped over after it.
TEST(ReadPlan, ADamagedHojinIsNotJumpedAfter) {
  ReadPlan plan(20, true);
  EXPECT_EQ(plan.next(1), ReadPlan::Move::Read);
  plan.outcome(1, ReadPlan::Outcome::Damaged);
  EXPECT_EQ(plan.next(2), ReadPlan::Move::Read);
  plan.outcome(2, ReadPlan::Outcome::Failed);
  EXPECT_EQ(plan.next(3), ReadPlan::Move::Skip);
  EXPECT_EQ(plan.next(4), ReadPlan::Move::Probe);
}

// An area between the HOJIN that failed and the probe that read is trimmed from the probe's
// side only, and the trim stops at its first failure.
TEST(ReadPlan, TheTrimReadsBackFromTheFarEdgeToTheFirstFailure) {
  ReadPlan plan(30, true);
  for (int k = 1; k <= 9; ++k) {
    ASSERT_EQ(plan.next(k), ReadPlan::Move::Read);
    plan.outcome(k, ReadPlan::Outcome::Good);
  }
  plan.next(10);
  plan.outcome(10, ReadPlan::Outcome::Failed);
  EXPECT_EQ(plan.next(11), ReadPlan::Move::Skip);
  EXPECT_EQ(plan.next(12), ReadPlan::Move::Probe);
  plan.outcome(12, ReadPlan::Outcome::Failed);
  EXPECT_EQ(plan.next(13), ReadPlan::Move::Skip);
  EXPECT_EQ(plan.next(14), ReadPlan::Move::Skip);
  EXPECT_EQ(plan.next(15), ReadPlan::Move::Probe);
  EXPECT_EQ(plan.nextTrim(), std::nullopt);  // no edge to read from yet
  plan.outcome(15, ReadPlan::Outcome::Good);
  EXPECT_EQ(plan.next(16), ReadPlan::Move::Read);
  EXPECT_EQ(plan.nextTrim(), 14);
  plan.trimmed(14, true);
  EXPECT_EQ(plan.nextTrim(), 13);
  plan.trimmed(13, false);
  EXPECT_EQ(plan.nextTrim(), std::nullopt);
  EXPECT_EQ(plan.notTried(), (std::vector<HojinRun>{{11, 13}}));
}

// An answer for a HOJIN the plan did not give changes nothing.
TEST(ReadPlan, AnUnaskedTrimAnswerIsIgnored) {
  ReadPlan plan(40, true);
  plan.next(1);
  plan.outcome(1, ReadPlan::Outcome::Failed);
  plan.next(2);
  plan.next(3);
  plan.outcome(3, ReadPlan::Outcome::Good);
  plan.trimmed(2, true);  // not asked for yet
  EXPECT_EQ(plan.notTried(), (std::vector<HojinRun>{{2, 2}}));
  EXPECT_EQ(plan.nextTrim(), 2);
  plan.trimmed(2, true);
  EXPECT_TRUE(plan.notTried().empty());
}

}  // namespace
}  // namespace korvelo
