// SPDX-License-Identifier: GPL-3.0-or-later
// The progress both front ends show: recording i of n, and a rate and time left taken
// from what this run itself read, never from what a continued file already held.
#include "app/export_progress.h"

#include <gtest/gtest.h>

namespace korvelo {
namespace {

TEST(ExportProgress, AfterAResumeTheRateCountsOnlyWhatThisRunRead) {
  int64_t now = 0;
  ExportProgressTracker tracker([&now] { return now; });
  tracker.beginRun(2, 1000000 + 3000000);
  // The first file is skipped; the second holds 2 MB of its 3 MB from an earlier run.
  tracker.pass(1000000);
  tracker.beginRecording(3000000, 2000000, 90, "Titel");
  now = 400;
  tracker.update(2040000, 4);
  EXPECT_FALSE(tracker.figures().bytesPerSecond());  // too early for a rate
  now = 2000;
  tracker.update(2200000, 10);
  const ExportProgress p = tracker.figures();
  EXPECT_EQ(p.recording, 2);
  EXPECT_EQ(p.recordings, 2);
  EXPECT_EQ(p.bytesReadNow, 200000);
  ASSERT_TRUE(p.bytesPerSecond());
  EXPECT_DOUBLE_EQ(*p.bytesPerSecond(), 100000.0);  // not the 1,1 MB/s kept bytes would give
  EXPECT_EQ(p.secondsLeftOfRecording(), 8);
  EXPECT_EQ(p.allWritten, 3200000);
  EXPECT_EQ(p.secondsLeft(), 8);
  EXPECT_EQ(p.percent(), 73);
  EXPECT_EQ(p.title, "Titel");
}

TEST(ExportProgress, ARunOfferedOneByOneCountsAsItGrowsAndEndsWhole) {
  int64_t now = 0;
  ExportProgressTracker tracker([&now] { return now; });
  tracker.beginRun(0, 0);
  tracker.plan(500);
  tracker.plan(700);
  tracker.beginRecording(500, 0, 1, "");
  now = 1000;
  tracker.update(100, 1);  // the file stopped short: the run's total still counts it whole
  tracker.endRecording(100);
  tracker.beginRecording(700, 0, 1, "");
  const ExportProgress p = tracker.figures();
  EXPECT_EQ(p.recording, 2);
  EXPECT_EQ(p.recordings, 2);
  EXPECT_EQ(p.allTotal, 1200);
  EXPECT_EQ(p.allWritten, 500);
}

}  // namespace
}  // namespace korvelo
