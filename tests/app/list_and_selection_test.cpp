// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/session_controller.h"
#include "disk/drive_table.h"
#include "diskbuilder/entry_image.h"
#include "session_fakes.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

std::unique_ptr<DirectoryEntry> entryOf(const sample::Recording& recording) {
  auto entry = std::make_unique<DirectoryEntry>();
  entry->copyFrom(sample::entryImage(recording).data());
  return entry;
}

sample::Recording stamped(uint32_t day, uint16_t hour, uint16_t minute, uint32_t durationMs) {
  sample::Recording r;
  r.title = "Film";
  r.stampDay = day;
  r.stampHour = hour;
  r.stampMinute = minute;
  r.durationMs = durationMs;
  return r;
}

TEST(ListLine, TabsAndGroupedSize) {
  sample::Recording r;
  r.entryNumber = 7;
  r.title = "Abendfilm";
  r.secondText = "Kanal 1";
  r.lengthSectors = 3 * 65;
  EXPECT_EQ(SessionController::listLine(*entryOf(r)), "0007\tAbendfilm\tKanal 1\t 99.840 Bytes");
}

TEST(ListLine, TextsArePrintableUtf8) {
  sample::Recording r;
  r.entryNumber = 1234;
  r.title =
      "\x05\xDC"
      "bertragung\x1B";  // control bytes around a Latin-1 "Ü"
  r.secondText =
      "Sport\x9F"
      "2";  // 0x9F has bit 7 cleared 31: dropped as well
  r.lengthSectors = 2000 * 65;
  EXPECT_EQ(SessionController::listLine(*entryOf(r)),
            "1234\t\xC3\x9C"
            "bertragung\tSport2\t 66.560.000 Bytes");
}

TEST(Describe, DurationsAndWeekdays) {
  const struct {
    uint32_t day;
    uint16_t hour, minute;
    uint32_t durationMs;
    const char* text;
  } cases[] = {
      {54101, 20, 15, 61000, "Von Montag 2007/01/01 um 20:13 Uhr - Länge: 1 Minute 01 Sekunde"},
      {54101, 20, 15, 120000, "Von Montag 2007/01/01 um 20:13 Uhr - Länge: 2 Minuten 00 Sekunden"},
      {54101, 20, 15, 59999, "Von Montag 2007/01/01 um 20:14 Uhr - Länge: 0 Minuten 59 Sekunden"},
      {54101, 20, 15, 5400000,
       "Von Montag 2007/01/01 um 18:45 Uhr - Länge: 90 Minuten 00 Sekunden"},
      {54104, 0, 10, 1800000,
       "Von Mittwoch 2007/01/03 um 23:40 Uhr - Länge: 30 Minuten 00 Sekunden"},
      {54107, 9, 5, 0, "Von Sonntag 2007/01/07 um 9:05 Uhr - Länge: 0 Minuten 00 Sekunden"},
      {40587, 0, 0, 0, "Von Donnerstag 1970/01/01 um 0:00 Uhr - Länge: 0 Minuten 00 Sekunden"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SessionController::describe(*entryOf(stamped(c.day, c.hour, c.minute, c.durationMs))),
              c.text);
  }
}

class SelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = dir.file("disk.img");
    sample::Recording longOne = test::recording(1, "Lang", 2000, 1);
    longOne.stampDay = 54101;
    longOne.durationMs = 61000;
    sample::buildDisk(test::fsrDisk({test::recording(0, "Kurz", 3, 0), longOne,
                                     test::recording(2, "Drei", 16, 200)}),
                      path);
    drives =
        std::make_unique<test::ScopedTestDrives>(std::vector<DriveSpec>{test::imageDrive(path)});
    controller.searchDisk();
  }
  void TearDown() override { DriveTable::useMachineDisks(); }

  test::TempDir dir;
  std::unique_ptr<test::ScopedTestDrives> drives;
  AppState app;
  test::FakeSessionView view;
  test::ScriptedChooser chooser;
  SessionController controller{app, view, chooser};
};

TEST_F(SelectionTest, TotalOfTwoSelectedRecordings) {
  ASSERT_EQ(view.lines.size(), 3u);
  view.selected = {0, 1};
  view.caret = 1;
  controller.showSelection();
  EXPECT_EQ(view.total, "Gesamtgröße der Zieldateien: 66.663.088 Bytes");
  EXPECT_EQ(app.totalSize, 99840u + 66560000u + 2 * 1624u);
  EXPECT_EQ(view.description, "Von Montag 2007/01/01 um 20:13 Uhr - Länge: 1 Minute 01 Sekunde");
}

TEST_F(SelectionTest, NoCaretKeepsTheDescriptionButUpdatesTheTotal) {
  view.caret = -1;
  view.selected = {};
  controller.showSelection();
  EXPECT_EQ(view.description, "(Vorlage)");
  EXPECT_EQ(view.total, "Gesamtgröße der Zieldateien: 0 Bytes");
  EXPECT_EQ(app.totalSize, 0u);
}

TEST_F(SelectionTest, CaretBeyondTheEntriesIsIgnored) {
  view.caret = 7;
  view.lines.push_back("extra line without entry");
  view.selected = {3};
  controller.showSelection();
  EXPECT_EQ(view.description, "(Vorlage)");
  EXPECT_EQ(view.total, "Gesamtgröße der Zieldateien: 0 Bytes");
}

}  // namespace
}  // namespace korvelo
