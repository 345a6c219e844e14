// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/file_date.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "diskbuilder/entry_image.h"
#include "export/export_fixture.h"
#include "support/file_util.h"

namespace korvelo {
namespace {

using Lines = std::vector<std::string>;

std::unique_ptr<DirectoryEntry> entryStarting(uint32_t stampDay, uint32_t durationMs) {
  sample::Recording recording;
  recording.stampDay = stampDay;
  recording.stampHour = 20;
  recording.stampMinute = 15;
  recording.durationMs = durationMs;
  auto entry = std::make_unique<DirectoryEntry>();
  entry->copyFrom(sample::entryImage(recording).data());
  return entry;
}

class FileDate : public ::testing::Test {
 protected:
  FileDate() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    test::writeFileBytes(path, std::vector<uint8_t>{1, 2, 3});
  }
  struct stat statusOf() const {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return status;
  }

  test::TempDir dir;
  std::string path = dir.file("x.hav");
  test::RecordingLog log;
};

TEST_F(FileDate, WinterStartIsLocalStandardTime) {
  setFileDate(*entryStarting(54101, 5400000), path, log);
  EXPECT_EQ(log.lines, Lines{"Dateidatum auf \"2007/01/01 - 18:45:00 Uhr\" gesetzt."});
  const struct stat status = statusOf();
  // 2007-01-01 17:45:00 UTC
  EXPECT_EQ(status.st_mtim.tv_sec, 1167673500);
  EXPECT_EQ(status.st_atim.tv_sec, 1167673500);
  EXPECT_EQ(status.st_mtim.tv_nsec, 0);
}

TEST_F(FileDate, SummerStartKeepsItsWallClockDigits) {
  setFileDate(*entryStarting(54101 + 181, 5400000), path, log);  // 2007-07-01
  EXPECT_EQ(log.lines, Lines{"Dateidatum auf \"2007/07/01 - 18:45:00 Uhr\" gesetzt."});
  // 2007-07-01 16:45:00 UTC: two hours ahead in summer.
  EXPECT_EQ(statusOf().st_mtim.tv_sec, 1183308300);
}

TEST_F(FileDate, SecondsLeftByTheDurationAreDropped) {
  setFileDate(*entryStarting(54101, 5400999), path, log);
  EXPECT_EQ(log.lines, Lines{"Dateidatum auf \"2007/01/01 - 18:45:00 Uhr\" gesetzt."});
  EXPECT_EQ(statusOf().st_mtim.tv_sec % 60, 0);
}

TEST_F(FileDate, AFileThatWasNeverCreatedIsReportedWithTheCause) {
  setFileDate(*entryStarting(54101, 5400000), dir.file("never.hav"), log);
  EXPECT_EQ(log.lines,
            (Lines{"Fehler beim Setzen des Dateidatums auf \"2007/01/01 - 18:45:00 Uhr\".",
                   "  Linux meldet FileException(2): \"Datei oder Ordner gibt es nicht\"",
                   "  Bitte das Datum per Hand ändern."}));
}

// A link put where the file was is never followed: the file it leads to keeps its date.
TEST_F(FileDate, ASymbolicLinkInTheFilesPlaceIsNotFollowed) {
  const std::string link = dir.file("link.hav");
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  const time_t before = statusOf().st_mtim.tv_sec;
  setFileDate(*entryStarting(54101, 5400000), link, log);
  EXPECT_EQ(log.lines,
            (Lines{"Fehler beim Setzen des Dateidatums auf \"2007/01/01 - 18:45:00 Uhr\".",
                   "  Linux meldet FileException(40): \"Zu viele Ebenen symbolischer Verweise\"",
                   "  Bitte das Datum per Hand ändern."}));
  EXPECT_EQ(statusOf().st_mtim.tv_sec, before);
}

}  // namespace
}  // namespace korvelo
