// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/session_controller.h"
#include "disk/drive_table.h"
#include "recfs/detection.h"
#include "session_fakes.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

using Lines = std::vector<std::string>;

const char* const kFoundOnOne =
    " Untersuche Festplatte 1 ...  Signatur stimmt! -   \"file_system.sys\"-Sektor vorhanden.";

class SearchDiskTest : public ::testing::Test {
 protected:
  void TearDown() override { DriveTable::useMachineDisks(); }

  Lines search() {
    SessionController controller(app, view, chooser);
    controller.searchDisk();
    return app.log.lines();
  }
  std::string image(const sample::DiskDescription& disk, const std::string& name = "disk.img") {
    const std::string path = dir.file(name);
    sample::buildDisk(disk, path);
    return path;
  }

  test::TempDir dir;
  AppState app;
  test::FakeSessionView view;
  test::ScriptedChooser chooser;
};

TEST_F(SearchDiskTest, NoRecorderDisk) {
  test::ScopedTestDrives drives({test::imageDrive(test::foreignImage(dir.file("pc.img")))});
  EXPECT_EQ(search(), (Lines{"Suche FSR-Festplatte ...",
                             " Untersuche Festplatte 0 ...  Signatur stimmt nicht.",
                             "Keine FSR-5000-Festplatte gefunden.", "Warte auf Benutzer..."}));
  EXPECT_FALSE(view.saveEnabled);
  EXPECT_TRUE(view.lines.empty());
  EXPECT_EQ(app.disk, nullptr);
  EXPECT_FALSE(fileSysCheckRelaxed);
}

TEST_F(SearchDiskTest, NoTevionDiskSearchesRelaxed) {
  app.settings.tevionPVR8005HDD = true;
  test::ScopedTestDrives drives({test::imageDrive(test::foreignImage(dir.file("pc.img")))});
  EXPECT_EQ(search(), (Lines{"Suche FSR-Festplatte ...",
                             " Untersuche Festplatte 0 ...  Signatur stimmt nicht.",
                             "Keine PVR-8005-Festplatte gefunden.", "Warte auf Benutzer..."}));
  EXPECT_TRUE(fileSysCheckRelaxed);
  EXPECT_FALSE(view.saveEnabled);
  fileSysCheckRelaxed = false;
}

TEST_F(SearchDiskTest, DiskBehindAForeignDriveInAutomaticMode) {
  const std::string disk = image(test::fsrDisk(
      {test::recording(0, "Abendfilm", 3, 0), test::recording(1, "Nachrichten", 20, 5)}));
  test::ScopedTestDrives drives(
      {test::imageDrive(test::foreignImage(dir.file("pc.img"))), test::imageDrive(disk)});
  EXPECT_EQ(search(), (Lines{"Suche FSR-Festplatte ...",
                             " Untersuche Festplatte 0 ...  Signatur stimmt nicht.", kFoundOnOne,
                             "Lese HAV-Verzeichnis...", "Extrahiere Filmverzeichnis...",
                             "  Geschätzter \"File-FAT-Size\"-Wert: 72 -- Automatisch ermittelter "
                             "\"File-FAT-Size\": 72",
                             "Überprüfung bestätigt 72 als \"File-FAT-Size\"-Wert (100%).",
                             "Warte auf Benutzer..."}));
  ASSERT_NE(app.disk, nullptr);
  EXPECT_EQ(app.disk->getDriveChar(), '1');
  EXPECT_EQ(view.lines, (Lines{"0000\tAbendfilm\tKanal 1\t 99.840 Bytes",
                               "0001\tNachrichten\tKanal 2\t 665.600 Bytes"}));
  EXPECT_TRUE(view.saveEnabled);
}

TEST_F(SearchDiskTest, ManualModeUsesTheConfiguredValue) {
  app.settings.fatSizeAuto = false;
  app.settings.fatSizeManuel = 70;
  const std::string disk = image(test::fsrDisk({test::recording(0, "Abendfilm", 3, 0)}));
  test::ScopedTestDrives drives({test::imageDrive(disk)});
  const Lines lines = search();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[4], "  Geschätzter \"File-FAT-Size\"-Wert: 72 -- benutzter Vorgabewert: 70");
  // The value given is tested all the same, and kept.
  EXPECT_EQ(lines[5].rfind("Überprüfung ", 0), 0u) << lines[5];
  EXPECT_EQ(lines[6], "Warte auf Benutzer...");
  EXPECT_EQ(app.disk->heldFileFatSize(), 70);
}

// A recorder without recordings gives the probe no recording start to find: the value
// stays unknown, but nothing is read through it, so the user is not asked for one (a look
// beyond the directory still is told).
TEST_F(SearchDiskTest, AnEmptyRecorderAsksForNoFileFatSize) {
  sample::DiskDescription description = test::fsrDisk({});
  description.probeMarker = false;  // as a recorder that never recorded
  test::ScopedTestDrives drives({test::imageDrive(image(description))});
  SessionController controller(app, view, chooser);
  controller.searchDisk();
  EXPECT_EQ(app.log.lines(),
            (Lines{"Suche FSR-Festplatte ...",
                   " Untersuche Festplatte 0 ...  Signatur stimmt! -   \"file_system.sys\"-Sektor "
                   "vorhanden.",
                   "Lese HAV-Verzeichnis...", "Extrahiere Filmverzeichnis...",
                   "  Geschätzter \"File-FAT-Size\"-Wert: 72 -- Automatisch ermittelter "
                   "\"File-FAT-Size\": -1",
                   "Keine Aufzeichnungen gefunden, \"File-FAT-Size\"-Überprüfung nicht möglich.",
                   "Warte auf Benutzer..."}));
  EXPECT_TRUE(controller.recorderIsEmpty());
  EXPECT_FALSE(controller.admitFileFatSize(false));
}

TEST_F(SearchDiskTest, ShortDirectoryIsWarnedAbout) {
  sample::DiskDescription description =
      test::fsrDisk({test::recording(0, "A", 1, 0), test::recording(1, "B", 1, 1),
                     test::recording(2, "C", 1, 2), test::recording(3, "D", 1, 3)});
  description.announcedEntries = 5;
  description.emptySlots = {4};
  test::ScopedTestDrives drives({test::imageDrive(image(description))});
  const Lines lines = search();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[3], "Extrahiere Filmverzeichnis...");
  EXPECT_EQ(lines[4], "Warnung! Das Verzeichnis sollte 5 Einträge haben, hat aber nur 4.");
  EXPECT_EQ(view.lines.size(), 4u);
}

TEST_F(SearchDiskTest, DriveThatStopsOpeningAfterDetection) {
  const std::string disk = image(test::fsrDisk({test::recording(0, "A", 1, 0)}));
  auto opens = std::make_shared<int>(0);
  DriveSpec flaky{disk, {}, [disk, opens]() -> std::unique_ptr<ByteSource> {
                    if (++*opens > 2) return nullptr;  // both detection checks, then no more
                    return openPathSource(disk);
                  }};
  test::ScopedTestDrives drives({flaky});
  EXPECT_EQ(search(),
            (Lines{"Suche FSR-Festplatte ...",
                   " Untersuche Festplatte 0 ...  Signatur stimmt! -   \"file_system.sys\"-Sektor "
                   "vorhanden.",
                   "  Konnte nicht auf das Laufwerk 0 zugreifen.", "Warte auf Benutzer..."}));
  EXPECT_TRUE(view.lines.empty());
  EXPECT_TRUE(view.saveEnabled);

  // Save stays usable but has nothing to offer.
  SessionController controller(app, view, chooser);
  controller.saveSelection();
  EXPECT_EQ(app.log.lines().back(),
            "Bitte einen Eintrag in obiger Liste anwählen und dann auf \"Speichern\" drücken.");
  EXPECT_TRUE(chooser.requests.empty());
}

TEST_F(SearchDiskTest, TevionDiskIsReadWithItsOwnLayout) {
  app.settings.tevionPVR8005HDD = true;
  sample::DiskDescription description = test::fsrDisk({test::recording(0, "Tevion", 2, 0)});
  description.model = sample::Model::Tevion;
  description.fileSys = sample::FileSysSector::Absent;
  test::ScopedTestDrives drives({test::imageDrive(image(description))});
  const Lines lines = search();
  EXPECT_NE(dynamic_cast<Pvr8005Disk*>(app.disk.get()), nullptr);
  EXPECT_EQ(view.lines, (Lines{"0000\tTevion\tKanal 1\t 66.560 Bytes"}));
  EXPECT_EQ(lines.back(), "Warte auf Benutzer...");
  fileSysCheckRelaxed = false;
}

}  // namespace
}  // namespace korvelo
