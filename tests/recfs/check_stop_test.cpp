// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system check and the block ownership tell how far they are and can be stopped
// from another thread (the window's "Abbrechen"); a stopped check says so and is not sound.

#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <vector>

#include "diskbuilder/presets.h"
#include "recfs/block_ownership.h"
#include "recfs/file_system_check.h"
#include "support/built_disk.h"

namespace korvelo {
namespace {

TEST(CheckProgress, CountsUpToTheTotalAndAStopEndsTheCheck) {
  const test::BuiltDisk built(sample::demoDisk());
  const auto disk = test::openRecorder(built.description());
  std::vector<std::pair<int64_t, int64_t>> told;
  CheckOptions options;
  options.progress = [&](int64_t done, int64_t total) { told.emplace_back(done, total); };
  const CheckReport full = checkFileSystem(*disk, options);
  ASSERT_GE(told.size(), 2u);
  for (size_t i = 1; i < told.size(); ++i) EXPECT_GE(told[i].first, told[i - 1].first);
  EXPECT_EQ(told.back().first, told.back().second);
  EXPECT_EQ(told.back().second, 5 + full.ownership.blockCount());  // recordings and blocks
  EXPECT_FALSE(full.interrupted);
  EXPECT_TRUE(full.sound());

  std::atomic<bool> stop{false};
  options.stop = &stop;
  options.progress = [&](int64_t done, int64_t) {
    if (done >= 1000) stop = true;
  };
  const CheckReport stopped = checkFileSystem(*disk, options);
  EXPECT_TRUE(stopped.interrupted);
  EXPECT_FALSE(stopped.sound());
  EXPECT_LT(stopped.headsChecked, 1200);
  EXPECT_LT(stopped.headsChecked, full.headsChecked);
  EXPECT_EQ(checkSummary(stopped), "Prüfung abgebrochen; 0 Befunde bis dahin.");
}

TEST(CheckProgress, OwnershipStoppedBeforeTheFirstRecordingReadsNoFileFat) {
  const test::BuiltDisk built(sample::demoDisk());
  const auto disk = test::openRecorder(built.description());
  const std::atomic<bool> stop{true};
  EXPECT_TRUE(buildBlockOwnership(*disk, {}, &stop).recordings().empty());
  EXPECT_EQ(buildBlockOwnership(*disk).recordings().size(), 5u);
}

}  // namespace
}  // namespace korvelo
