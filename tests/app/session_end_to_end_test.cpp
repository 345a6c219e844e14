// SPDX-License-Identifier: GPL-3.0-or-later
// A whole run without a window: settings loaded, disk found, recordings selected and
// saved step by step, settings written at the end; the files compared byte for byte.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/session_controller.h"
#include "disk/drive_table.h"
#include "diskbuilder/entry_image.h"
#include "session_fakes.h"
#include "support/file_util.h"
#include "support/memory_source.h"
#include "support/sample_recordings.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

class SessionEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image = dir.file("recorder.img");
    description = test::fsrDisk({test::recording(0, "Kurz", 3, 0),
                                 test::recording(1, "\xC4rger im B\xFCro", 40, 9),  // Latin-1
                                 test::recording(2, "Drei", 17, 30)});
    description.recordings[2].blocks = {30, 77};  // fragmented
    sample::buildDisk(description, image);
    drives = std::make_unique<test::ScopedTestDrives>(std::vector<DriveSpec>{
        test::imageDrive(test::foreignImage(dir.file("pc.img"))), test::imageDrive(image)});
    output = dir.path() + "/hav";
    std::filesystem::create_directory(output);
  }
  void TearDown() override { DriveTable::useMachineDisks(); }

  std::vector<uint8_t> expectedFile(const sample::Recording& r) const {
    std::vector<uint8_t> bytes = test::handMadeHead(r);
    const std::vector<uint8_t> entry = sample::entryImage(r);
    bytes.insert(bytes.end(), entry.begin(), entry.end());
    const std::vector<uint8_t> data = sample::readRecordingFromImage(image, description, r);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
  }

  test::TempDir dir;
  std::string image;
  std::string output;
  sample::DiskDescription description;
  std::unique_ptr<test::ScopedTestDrives> drives;
};

TEST_F(SessionEndToEndTest, SearchSelectSaveAndShutDown) {
  test::FakeSessionView view;
  test::FakeDriverView driverView(view);
  test::ScriptedChooser chooser;
  std::vector<std::string> names;
  {
    AppState app;
    app.loadSettingsFrom(dir.file("korvelo"));
    app.makeSaveDriver(driverView);
    SessionController controller(app, view, chooser);
    controller.searchDisk();
    ASSERT_EQ(view.lines.size(), 3u);
    EXPECT_EQ(view.lines[1], "0001\t\xC3\x84rger im B\xC3\xBCro\tKanal 2\t 1.331.200 Bytes");

    view.selected = {1, 2};
    view.caret = 2;
    controller.showSelection();
    EXPECT_EQ(view.total, "Gesamtgröße der Zieldateien: 1.900.208 Bytes");
    chooser.choose(output);
    chooser.choose(output);
    controller.saveSelection();
    ASSERT_EQ(app.queuedJobs().size(), 2u);
    EXPECT_EQ(app.log.lines()[app.log.lines().size() - 6],
              "Eintrag 1 \"\xC3\x84rger im B\xC3\xBCro\" ausgewählt.");

    int steps = 0;
    while (app.saveDriver()->isSavingActive() && steps < 1000) {
      app.saveDriver()->saveStep();
      ++steps;
    }
    EXPECT_FALSE(app.saveDriver()->isSavingActive());
    EXPECT_TRUE(view.saveEnabled);
    for (const auto& request : chooser.requests) names.push_back(request.proposedName);
    const std::vector<std::string> lines = app.log.lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "Schreibe in \"" + output + "/" + names[1] + "\""),
        lines.end());
    app.shutdown();
  }
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(test::readFileBytes(output + "/" + names[0]), expectedFile(description.recordings[1]));
  EXPECT_EQ(test::readFileBytes(output + "/" + names[1]), expectedFile(description.recordings[2]));
  const std::string settings = readText(dir.file("korvelo.INI"));
  EXPECT_EQ(settings.rfind("PathToHAVs = " + output + "\n", 0), 0u) << settings;
}

TEST_F(SessionEndToEndTest, ClosingDuringASaveKeepsWhatWasWritten) {
  test::FakeSessionView view;
  test::FakeDriverView driverView(view);
  test::ScriptedChooser chooser;
  std::string file;
  {
    AppState app;
    app.loadSettingsFrom(dir.file("korvelo"));
    app.makeSaveDriver(driverView);
    SessionController controller(app, view, chooser);
    controller.searchDisk();
    view.selected = {1};
    chooser.choose(output);
    controller.saveSelection();
    file = output + "/" + chooser.requests.at(0).proposedName;
    app.saveDriver()->saveStep();  // HOJIN 1 from opening, then 2 ... 5
    app.shutdown();
    EXPECT_TRUE(app.queuedJobs().empty());
    EXPECT_EQ(app.disk, nullptr);
    ASSERT_NE(app.saveDriver(), nullptr);
    app.saveDriver()->saveStep();  // a step after the end finds nothing to do
  }
  const std::vector<uint8_t> expected = expectedFile(description.recordings[1]);
  const std::vector<uint8_t> written = test::readFileBytes(file);
  ASSERT_EQ(written.size(), 1624u + 5 * 33280u);
  EXPECT_TRUE(std::equal(written.begin(), written.end(), expected.begin()));
  EXPECT_NE(readText(dir.file("korvelo.INI")).find("FATSizeManuel = 72\n"), std::string::npos);
}

TEST_F(SessionEndToEndTest, SettingsThatCannotBeWrittenEndTheRunQuietly) {
  std::filesystem::create_directory(dir.file("korvelo.INI"));
  AppState app;
  app.loadSettingsFrom(dir.file("korvelo"));
  app.settings.debugInfo = true;
  app.log.append("Programm V1.30 initialisiert.");
  app.shutdown();
  // Why the settings were not read is said once; that they cannot be written is not.
  EXPECT_EQ(app.log.lines(),
            (std::vector<std::string>{"Die Einstellungsdatei \"" + dir.file("korvelo.INI") +
                                          "\" wird nicht gelesen: ist ein Ordner, keine Datei.",
                                      "Programm V1.30 initialisiert."}));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("korvelo.INI")));
  app.shutdown();  // a second call does nothing
}

TEST(SettingsBasePath, ExecutableNameInTheWorkingDirectory) {
  test::TempDir dir;
  const std::string previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string here = std::filesystem::current_path();
  EXPECT_EQ(settingsBasePath("/usr/bin/korvelo"), here + "/korvelo");
  EXPECT_EQ(settingsBasePath("./korvelo.bin"), here + "/korvelo");
  EXPECT_EQ(settingsFileNameFor(settingsBasePath("korvelo")), here + "/korvelo.INI");

  // No settings file here: the user's configuration folder, made when missing.
  EXPECT_EQ(userSettingsBasePath("korvelo", (here + "/xdg").c_str(), "/nonexistent"),
            here + "/xdg/korvelo/korvelo");
  EXPECT_TRUE(std::filesystem::is_directory(here + "/xdg/korvelo"));
  EXPECT_EQ(userSettingsBasePath("korvelo", "", here.c_str()), here + "/.config/korvelo/korvelo");
  EXPECT_EQ(userSettingsBasePath("korvelo", "relative", nullptr), here + "/korvelo");
  // A settings file in the working directory keeps the portable setup there.
  std::ofstream(here + "/korvelo.INI") << "[Settings]\n";
  EXPECT_EQ(userSettingsBasePath("korvelo", (here + "/xdg").c_str(), here.c_str()),
            here + "/korvelo");
  std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace korvelo
