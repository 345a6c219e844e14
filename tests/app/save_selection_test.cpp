// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/manifest.h"
#include "app/session_controller.h"
#include "disk/drive_table.h"
#include "export/mount_and_fat_checks.h"
#include "session_fakes.h"
#include "support/file_util.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

using Lines = std::vector<std::string>;

class SaveSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = dir.file("disk.img");
    // "Riesig" claims more than a FAT file system holds; only its first block is there.
    sample::Recording huge = test::recording(3, "Riesig", 16, 300);
    huge.lengthSectors = 9000000;
    sample::buildDisk(
        test::fsrDisk({test::recording(0, "Kurz", 3, 0), test::recording(1, "Lang", 2000, 1),
                       test::recording(2, "Drei", 16, 200), huge}),
        path);
    drives =
        std::make_unique<test::ScopedTestDrives>(std::vector<DriveSpec>{test::imageDrive(path)});
    app.settings.pathToHAVs = dir.path();
    app.makeSaveDriver(driverView);
    controller.setFreeSpaceQuery([this](const std::string&) { return FreeSpace{freeBytes, 0}; });
    controller.searchDisk();
    searchLines = app.log.lines().size();
  }
  void TearDown() override { DriveTable::useMachineDisks(); }

  // Entry 0 saved as `path`, chosen in the dialog: refused for `reason`, the file unchanged.
  void expectNeverATarget(const std::string& path, const std::string& reason) {
    const std::vector<uint8_t> before = test::readFileBytes(path);
    view.selected = {0};
    chooser.chooseNext(path);
    controller.saveSelection();
    const Lines lines = saveLines();
    const std::string refusal =
        "Eintrag 0 \"Kurz\" wird nicht gespeichert: \"" + path + "\" " + reason;
    EXPECT_NE(std::find(lines.begin(), lines.end(), refusal), lines.end())
        << testing::PrintToString(lines);
    EXPECT_TRUE(app.queuedJobs().empty());
    EXPECT_EQ(test::readFileBytes(path), before);
  }

  // What saving added to the log.
  Lines saveLines() const {
    const Lines all = app.log.lines();
    return Lines(all.begin() + static_cast<long>(searchLines), all.end());
  }

  test::TempDir dir;
  std::unique_ptr<test::ScopedTestDrives> drives;
  AppState app;
  test::FakeSessionView view;
  test::FakeDriverView driverView{view};
  test::ScriptedChooser chooser;
  SessionController controller{app, view, chooser};
  uint64_t freeBytes = 500000000000ULL;
  size_t searchLines = 0;
};

TEST_F(SaveSelectionTest, NothingSelectedOnlyHints) {
  controller.saveSelection();
  EXPECT_EQ(
      saveLines(),
      (Lines{"Bitte einen Eintrag in obiger Liste anwählen und dann auf \"Speichern\" drücken."}));
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_TRUE(chooser.requests.empty());
}

TEST_F(SaveSelectionTest, SecondOfThreeCancelledEndsTheWalk) {
  view.selected = {0, 1, 2};
  const std::string target = dir.path() + "/out";
  ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
  chooser.choose(target);
  chooser.cancel();
  chooser.choose(target);  // never used: the third recording is not offered
  controller.saveSelection();
  EXPECT_EQ(saveLines(),
            (Lines{"Eintrag 0 \"Kurz\" ausgewählt.",
                   "Freier Speicherplatz auf der Festplatte: 500.000.000.000 Bytes",
                   "Größe der Zieldatei 101.464 Bytes.", "Eintrag 1 \"Lang\" ausgewählt.",
                   "Größe der Zieldatei 66.561.624 Bytes.", "Speichern abgebrochen."}));
  ASSERT_EQ(chooser.requests.size(), 2u);
  EXPECT_EQ(chooser.requests[0].parent, &view);
  EXPECT_EQ(chooser.requests[0].initialFolder, dir.path());
  EXPECT_EQ(chooser.requests[1].initialFolder, target);  // the folder follows the choice
  EXPECT_EQ(app.settings.pathToHAVs, target);
  ASSERT_EQ(app.queuedJobs().size(), 1u);
  EXPECT_FALSE(view.saveEnabled);
  // Created at once with head, entry image and the first HOJIN.
  const std::string file = target + "/" + chooser.requests[0].proposedName;
  EXPECT_EQ(test::fileSize(file), 1624 + 33280);

  // A double-click while the save runs does nothing.
  const size_t before = app.log.lines().size();
  controller.saveSelection();
  EXPECT_EQ(app.log.lines().size(), before);
  EXPECT_EQ(chooser.requests.size(), 2u);

  for (int step = 0; step < 100 && app.saveDriver()->isSavingActive(); ++step) {
    app.saveDriver()->saveStep();
  }
  EXPECT_FALSE(app.saveDriver()->isSavingActive());
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_TRUE(app.queuedJobs().empty());
  EXPECT_EQ(test::fileSize(file), 101464);
}

TEST_F(SaveSelectionTest, FailedDialogIsReportedAndSaveComesBack) {
  view.selected = {0, 2};
  chooser.fail(12290);
  controller.saveSelection();
  ASSERT_EQ(chooser.requests.size(), 1u);
  EXPECT_EQ(saveLines(), (Lines{"Eintrag 0 \"Kurz\" ausgewählt.",
                                "FN = \"" + chooser.requests[0].proposedName + "\", Error = 12290",
                                "Größe der Zieldatei 101.464 Bytes.",
                                "Fehler 1 ist beim Vorbereiten des Speicherns aufgetreten.",
                                "Grund: Die Frage nach der Zieldatei ließ sich nicht stellen. "
                                "Bitte noch einmal speichern."}));
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_TRUE(app.queuedJobs().empty());
}

TEST_F(SaveSelectionTest, ATargetChosenTwiceInOneRunIsRefusedTheSecondTime) {
  view.selected = {0, 1};
  const std::string target = dir.file("ein.hav");
  chooser.chooseNext(target);
  chooser.chooseNext(target);
  controller.saveSelection();
  const Lines lines = saveLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Eintrag 1 \"Lang\" wird nicht gespeichert: \"" + target +
                          "\" wird in diesem Lauf schon geschrieben."),
            lines.end())
      << testing::PrintToString(lines);
  ASSERT_EQ(app.queuedJobs().size(), 1u);
  for (int step = 0; step < 100 && app.saveDriver()->isSavingActive(); ++step)
    controller.workflow().step();
  EXPECT_EQ(test::fileSize(target), 101464);  // the first recording's file, untouched after
}

TEST_F(SaveSelectionTest, TooLittleSpaceWithDebugInfo) {
  app.settings.debugInfo = true;
  freeBytes = 1000;
  view.selected = {2};
  chooser.choose(dir.path());
  controller.saveSelection();
  EXPECT_EQ(
      saveLines(),
      (Lines{"Eintrag 2 \"Drei\" ausgewählt.",
             "Freier Speicherplatz auf der Festplatte: 1.000 Bytes", "Zuwenig Platz zum Speichern.",
             "Insgesamt 16 HOJINs sollen kopiert werden: Größe der Zieldatei 534.104 Bytes.",
             "Fehler 10000 ist beim Vorbereiten des Speicherns aufgetreten.",
             "Grund: Im Zielordner ist nicht genug Platz für diese Aufnahme. Bitte Platz schaffen "
             "oder einen Ordner auf einem anderen Laufwerk wählen und noch einmal speichern."}));
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_EQ(test::fileSize(dir.path() + "/" + chooser.requests[0].proposedName), -1);
}

// Checks made before a byte is written, each with the system's answers made up.
struct AdmissionCase {
  const char* name;
  int line;
  std::string mounted;  // the mount check's answer
  bool fatTarget;       // the target folder lies on FAT
  bool linkAtTarget;    // a dangling symbolic link has the target's name
  std::string refusal;  // the line that refuses it ("TARGET": the target path)
  size_t questions;     // save-as questions asked
};

class AdmissionTest : public SaveSelectionTest,
                      public ::testing::WithParamInterface<AdmissionCase> {};

TEST_P(AdmissionTest, RefusesBeforeAnythingIsWritten) {
  const AdmissionCase& c = GetParam();
  const std::string target = dir.path() + "/ziel";
  ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
  controller.workflow().setAdmissionQueries({[&](const std::string&) { return c.mounted; },
                                             [&](const std::string&) -> std::optional<long> {
                                               return c.fatTarget ? kMsdosSuperMagic : 0x58465342;
                                             }});
  const std::string name = c.line == 0 ? "00 Kurz.hav" : "03 Riesig.hav";
  const std::string outside = dir.file("anderswo.hav");
  if (c.linkAtTarget) {
    ASSERT_EQ(symlink(outside.c_str(), (target + "/" + name).c_str()), 0);
  }
  view.selected = {c.line};
  chooser.choose(target);
  controller.saveSelection();
  std::string refusal = c.refusal;
  if (const size_t at = refusal.find("TARGET"); at != std::string::npos)
    refusal.replace(at, 6, target + "/" + name);
  if (const size_t at = refusal.find("FOLDER"); at != std::string::npos)
    refusal.replace(at, 6, target);
  const Lines lines = saveLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), refusal), lines.end())
      << testing::PrintToString(lines);
  EXPECT_EQ(chooser.requests.size(), c.questions);
  EXPECT_TRUE(app.queuedJobs().empty());
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_FALSE(std::filesystem::exists(outside));
  const auto entries = std::distance(std::filesystem::directory_iterator(target),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(entries, c.linkAtTarget ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdmissionTest,
    ::testing::Values(
        AdmissionCase{"MountedSource", 0, "\"/dev/sdz\" ist unter \"/mnt\" eingehängt.", false,
                      false, "\"/dev/sdz\" ist unter \"/mnt\" eingehängt.", 0},
        AdmissionCase{
            "FatTargetTooSmall", 3, "", true, false,
            "Eintrag 3 \"Riesig\" wird nicht gespeichert: Der Zielordner \"FOLDER\" liegt "
            "auf einem FAT-Dateisystem, das keine Datei ab 4 GiB aufnimmt; die Datei "
            "bräuchte 4.608.001.624 Bytes. Bitte einen Ordner auf einem anderen "
            "Dateisystem wählen (etwa ext4, NTFS oder exFAT).",
            1},
        AdmissionCase{"LinkAtTarget", 0, "", false, true,
                      "Eintrag 0 \"Kurz\" wird nicht gespeichert: \"TARGET\" ist ein symbolischer "
                      "Verweis; Korvelo schreibt nicht hindurch.",
                      1}),
    [](const auto& info) { return std::string(info.param.name); });

// The save-as dialog may name any file: one the program reads and writes itself (the
// settings file, written back at the end; the manifest of a folder saved into) is never
// a target.
TEST_F(SaveSelectionTest, TheSettingsFileReadIsNeverATarget) {
  const std::string settings = dir.file("korvelo.INI");
  test::writeFileBytes(settings, std::vector<uint8_t>{'D', 'e', 'b', 'u', 'g', '=', '0', '\n'});
  app.loadSettingsFrom(dir.file("korvelo"));
  expectNeverATarget(settings,
                     "ist die Einstellungsdatei, aus der die Einstellungen gelesen wurden.");
}

TEST_F(SaveSelectionTest, AManifestOfThisRunIsNeverATarget) {
  ManifestRecord record;
  record.file = "00 Kurz.hav";
  ASSERT_EQ(addToManifest(dir.path(), record), "");
  expectNeverATarget(dir.file("korvelo-manifest.json"),
                     "ist ein Manifest, das in diesem Lauf gelesen wurde.");
}

// Once replaced by the next record, the manifest read before is no input any more: the
// file that still has its bytes (here under a second name) may be a target again.
TEST_F(SaveSelectionTest, AManifestReplacedSinceIsAnInputNoMore) {
  ManifestRecord record;
  record.file = "00 Kurz.hav";
  ASSERT_EQ(addToManifest(dir.path(), record), "");
  const std::string earlier = dir.file("earlier.json");
  std::filesystem::create_hard_link(dir.file("korvelo-manifest.json"), earlier);
  record.file = "01 Lang.hav";
  ASSERT_EQ(addToManifest(dir.path(), record), "");
  view.selected = {0};
  chooser.chooseNext(earlier);
  controller.saveSelection();
  EXPECT_EQ(app.queuedJobs().size(), 1u) << testing::PrintToString(saveLines());
}

TEST_F(SaveSelectionTest, SaveDisabledAfterAFailedSearchIgnoresDoubleClicks) {
  view.saveEnabled = false;
  view.selected = {0};
  chooser.choose(dir.path());
  controller.saveSelection();
  EXPECT_TRUE(saveLines().empty());
  EXPECT_TRUE(chooser.requests.empty());
  EXPECT_FALSE(view.saveEnabled);
}

}  // namespace
}  // namespace korvelo
