// SPDX-License-Identifier: GPL-3.0-or-later
// The save driver over real jobs: the order of the log lines, steps per job, the bars and
// the title, the check box, queued and failing jobs, and the pause.
#include <gtest/gtest.h>

#include "export/export_fixture.h"
#include "support/file_util.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using sample::HeadDefect;
using sample::Recording;
using test::expectedHav;
using test::ExportDisk;
using test::preparedJob;
using test::recordingOf;
using Lines = std::vector<std::string>;

DiskDescription driverDisk() {
  DiskDescription disk;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{8} << 30;
  Recording first = recordingOf(0, {3, 4, 5, 6, 7, 8, 9}, 6500);  // 100 HOJINs in a row
  Recording second = recordingOf(1, {20, 30}, 20 * 65);           // jumps after HOJIN 16
  second.defects = {{1, HeadDefect::NotRecordingStart}};
  Recording empty = recordingOf(2, {}, 0);
  disk.recordings = {first, second, empty};
  return disk;
}

class SaveDriverTest : public ::testing::Test {
 protected:
  SaveDriverTest() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }

  void queueJob(int entryNumber, const std::string& path) {
    queue.push_back(preparedJob(disk, entryNumber, path));
  }
  // Steps until the driver stops; the number of steps taken.
  int runSteps(int limit = 1000) {
    int steps = 0;
    while (driver.isSavingActive() && steps < limit) {
      ++steps;
      if (onStep) onStep(steps);
      driver.saveStep();
    }
    return steps;
  }

  ExportDisk disk{driverDisk()};
  JobQueue queue;
  test::FakeView view;
  test::RecordingLog log;
  SaveOptions options{0, true, false};
  int64_t now = 5000;
  std::function<void(int)> onStep;
  SaveDriver driver{queue, view, log, [this] { return options; }, [this] { return now; }};
};

TEST_F(SaveDriverTest, HundredHojinsInTwentyFiveStepsWithTheLinesInOrder) {
  const std::string path = disk.output("hundred.hav");
  queueJob(0, path);
  driver.startSaving();
  EXPECT_TRUE(driver.isSavingActive());
  EXPECT_EQ(test::fileSize(path), 1624 + 33280);
  EXPECT_TRUE(log.lines.empty());
  onStep = [this](int step) {
    if (step == 25) now = 7000;  // 100 HOJINs in 2 s
  };
  EXPECT_EQ(runSteps(), 25);
  EXPECT_EQ(
      log.lines,
      (Lines{"Schreibe in \"" + path + "\"", "Speichern abgeschlossen.",
             "Lesen der unfragmentierten Aufzeichnung abgeschlossen. Leserate: ca. 1.625 KB/s"}));
  EXPECT_TRUE(queue.empty());
  EXPECT_EQ(test::readFileBytes(path), expectedHav(disk, disk.recording(0)));
  EXPECT_EQ(view.readRange, std::make_pair(1, 100));
  EXPECT_EQ(view.writeRange, std::make_pair(0, 3));  // 3329624 >> 20
  EXPECT_EQ(view.readPosition, 0);
  EXPECT_EQ(view.writePositions.back(), 0);
  EXPECT_TRUE(view.saveEnabled);
}

TEST_F(SaveDriverTest, WriteBarFollowsTheFileWhileTheWindowIsShown) {
  queueJob(0, disk.output("bar.hav"));
  driver.startSaving();
  driver.saveStep();
  // HOJINs 1 ... 5 written: 1624 + 5 x 33280 = 168024 bytes, shifted by 20 gives 0.
  ASSERT_EQ(view.writePositions, (std::vector<int>{0}));
  EXPECT_EQ(view.readPosition, 5);
  EXPECT_TRUE(view.titles.empty());
}

TEST_F(SaveDriverTest, HojinOneWarningsFollowTheWritingLine) {
  const std::string path = disk.output("second.hav");
  queueJob(1, path);
  driver.startSaving();
  driver.saveStep();
  EXPECT_EQ(log.lines, (Lines{"Schreibe in \"" + path + "\"",
                              "\r\nWarnung: Erster Hojin (von 20) ist kein Aufzeichnungsanfang."}));
  runSteps();
  EXPECT_EQ(log.lines.back(),
            // No time has passed on the test clock: counted as 1 ms, 20 x 33280 x 1000 / 1024.
            "Lesen der fragmentierten Aufzeichnung abgeschlossen. Leserate: ca. 650.000 KB/s");
}

TEST_F(SaveDriverTest, TickedCheckBoxKeepsTheJobsMessagesOutAndIsUntickedAtTheEnd) {
  const std::string path = disk.output("second.hav");
  queueJob(1, path);
  view.suppressChecked = true;
  driver.startSaving();
  now = 5000;
  runSteps();
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0], "Schreibe in \"" + path + "\"");
  EXPECT_EQ(log.lines[1].rfind("Lesen der fragmentierten Aufzeichnung abgeschlossen.", 0), 0u);
  EXPECT_FALSE(view.suppressChecked);
}

TEST_F(SaveDriverTest, TwoQueuedJobsAreOpenedAtOnceAndCopiedOneAfterTheOther) {
  const std::string first = disk.output("first.hav"), second = disk.output("second.hav");
  queueJob(0, first);
  queueJob(1, second);
  options.useRecordDate = true;
  driver.startSaving();
  EXPECT_EQ(test::fileSize(first), 1624 + 33280);
  EXPECT_EQ(test::fileSize(second), 1624 + 33280);
  onStep = [this](int step) {
    if (step == 25) {
      EXPECT_EQ(queue.size(), 2u);
    } else if (step == 26) {
      EXPECT_EQ(queue.size(), 1u);
    }
  };
  EXPECT_EQ(runSteps(), 25 + 5);
  // The start of both: day 54101, 20:15, less 5400 s.
  const std::string dated = "Dateidatum auf \"2007/01/01 - 18:45:00 Uhr\" gesetzt.";
  ASSERT_EQ(log.lines.size(), 9u);
  EXPECT_EQ(log.lines[0], "Schreibe in \"" + first + "\"");
  EXPECT_EQ(log.lines[1], "Speichern abgeschlossen.");
  EXPECT_EQ(log.lines[2].rfind("Lesen der unfragmentierten", 0), 0u);
  EXPECT_EQ(log.lines[3], dated);
  EXPECT_EQ(log.lines[4], "Schreibe in \"" + second + "\"");
  EXPECT_EQ(log.lines[5], "\r\nWarnung: Erster Hojin (von 20) ist kein Aufzeichnungsanfang.");
  EXPECT_EQ(log.lines[6], "Speichern abgeschlossen.");
  EXPECT_EQ(log.lines[7].rfind("Lesen der fragmentierten", 0), 0u);
  EXPECT_EQ(log.lines[8], dated);
  EXPECT_EQ(test::readFileBytes(first), expectedHav(disk, disk.recording(0)));
  EXPECT_EQ(test::readFileBytes(second), expectedHav(disk, disk.recording(1)));
}

TEST_F(SaveDriverTest, AJobThatCannotBeOpenedIsReportedAndRemovedAtOnce) {
  const std::string missing = disk.output("nowhere/x.hav"), good = disk.output("good.hav");
  queueJob(0, missing);
  queueJob(1, good);
  options.useRecordDate = true;
  driver.startSaving();
  EXPECT_EQ(log.lines,
            (Lines{"Fehler 2 ist beim Speichern aufgetreten.",
                   "\r\nFehler beim Öffnen der Datei \"" + missing +
                       "\"\r\n  FileException: Datei oder Ordner gibt es nicht",
                   "Grund: Die Zieldatei ließ sich nicht anlegen (keine Schreibrechte im Ordner, "
                   "Ordner fehlt oder Ziel schreibgeschützt). Bitte einen Ordner wählen, in den "
                   "Sie schreiben dürfen, und noch einmal speichern.",
                   "Fehler beim Setzen des Dateidatums auf \"2007/01/01 - 18:45:00 Uhr\".",
                   "  Linux meldet FileException(2): \"Datei oder Ordner gibt es nicht\"",
                   "  Bitte das Datum per Hand ändern."}));
  EXPECT_TRUE(view.saveEnabled);
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front()->getPath(), good);
  EXPECT_TRUE(driver.isSavingActive());
  runSteps();
  EXPECT_EQ(test::readFileBytes(good), expectedHav(disk, disk.recording(1)));
}

TEST_F(SaveDriverTest, OnlyFailingJobsLeaveTheDriverIdle) {
  queueJob(0, disk.output("nowhere/x.hav"));
  driver.startSaving();
  EXPECT_TRUE(queue.empty());
  EXPECT_FALSE(driver.isSavingActive());
  EXPECT_TRUE(view.saveEnabled);
}

TEST_F(SaveDriverTest, AnEmptyRecordingIsFinishedInItsFirstStep) {
  const std::string path = disk.output("empty.hav");
  queueJob(2, path);
  driver.startSaving();
  EXPECT_EQ(runSteps(), 1);
  // No HOJIN was read, so there is no read rate to tell.
  EXPECT_EQ(log.lines, (Lines{"Schreibe in \"" + path + "\"", "Speichern abgeschlossen."}));
  EXPECT_EQ(test::fileSize(path), 1624);
}

TEST_F(SaveDriverTest, MinimisedWindowShowsThePercentageOnlyWhenItChanges) {
  queueJob(0, disk.output("title.hav"));
  view.minimized = true;
  driver.startSaving();
  runSteps();
  ASSERT_FALSE(view.titles.empty());
  // Step 1 has written 5 HOJINs: 168024 x 100 / 3329624 = 5.
  EXPECT_EQ(view.titles.front(), "Got 5% HAV");
  EXPECT_EQ(view.titles.back(), "Got 100% HAV");
  for (size_t i = 1; i < view.titles.size(); ++i) EXPECT_NE(view.titles[i], view.titles[i - 1]);
  // The bar is not moved while minimised; only the end resets it.
  EXPECT_EQ(view.writePositions, (std::vector<int>{0}));
}

TEST_F(SaveDriverTest, PauseOnlyBetweenOneAndAHundredMilliseconds) {
  const std::vector<std::pair<int, int>> cases{{0, 0},     {1, 1},   {37, 37},
                                               {100, 100}, {101, 0}, {-5, 0}};
  for (const auto& [setting, pause] : cases) {
    options.millisecondsPause = setting;
    EXPECT_EQ(driver.pauseAfterStep(), pause) << setting;
  }
}

TEST_F(SaveDriverTest, StartingWithAnEmptyQueueOnlyEnablesSave) {
  driver.startSaving();
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_FALSE(driver.isSavingActive());
  driver.saveStep();
  EXPECT_TRUE(log.lines.empty());
}

}  // namespace
}  // namespace korvelo
