// SPDX-License-Identifier: GPL-3.0-or-later
// search and list, run as the built program on generated disks.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"

namespace korvelo::test {
namespace {

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

using SearchListTest = DemoDiskTest;

TEST_F(SearchListTest, SearchFindsTheDiskAndLogsTheStartUpSequenceOnStderr) {
  const CliRun run = runCli({"--drive", image(), "search"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  const auto lines = run.errLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "Suche FSR-Festplatte ...");
  EXPECT_EQ(lines.back(), "Warte auf Benutzer...");
  EXPECT_TRUE(contains(lines, "Extrahiere Filmverzeichnis..."));
  // The log's CR LF pairs become plain line ends.
  EXPECT_EQ(run.err.find('\r'), std::string::npos);
}

TEST_F(SearchListTest, ListPrintsTheWindowsListLinesInDirectoryOrder) {
  const CliRun run = runCli({"--drive", image(), "list"});
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> expected;
  for (const sample::Recording& recording : disk().recordings)
    expected.push_back(expectedListLine(recording));
  EXPECT_EQ(run.outLines(), expected);
  EXPECT_EQ(run.errLines().back(), "Warte auf Benutzer...");
}

TEST_F(SearchListTest, GlobalOptionsMayFollowTheCommandWord) {
  const CliRun before = runCli({"--drive", image(), "list"});
  const CliRun after = runCli({"list", "--drive", image()});
  EXPECT_EQ(after.status, 0);
  EXPECT_EQ(after.out, before.out);
  EXPECT_EQ(after.err, before.err);
}

TEST_F(SearchListTest, RepeatedDrivesAreSearchedInTheOrderGiven) {
  TempDir folder;
  sample::DiskDescription blank = sample::demoDisk();
  blank.signature = sample::SignatureVariant::Missing;
  const std::string blankImage = folder.file("blank.img");
  sample::buildDisk(blank, blankImage);
  const CliRun run = runCli({"--drive", blankImage, "--drive", image(), "list"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.outLines().size(), disk().recordings.size());
  EXPECT_NE(run.err.find("Festplatte 1"), std::string::npos) << run.err;
}

TEST_F(SearchListTest, JsonCarriesEveryFieldOfEveryRecording) {
  const CliRun run = runCli({"--drive", image(), "list", "--json"});
  ASSERT_EQ(run.status, 0);
  const nlohmann::json document = nlohmann::json::parse(run.out);
  EXPECT_EQ(document.at("file_fat_size"), disk().fileFatSize);
  EXPECT_EQ(document.at("announced"), disk().recordings.size());
  const auto& listed = document.at("recordings");
  ASSERT_EQ(listed.size(), disk().recordings.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    const sample::Recording& recording = disk().recordings[i];
    const ExpectedStart start = expectedStart(recording);
    SCOPED_TRACE(recording.entryNumber);
    EXPECT_EQ(listed[i].at("entry"), recording.entryNumber);
    EXPECT_EQ(listed[i].at("title"), utf8FromLatin1(recording.title));
    EXPECT_EQ(listed[i].at("second_text"), utf8FromLatin1(recording.secondText));
    EXPECT_EQ(listed[i].at("size_bytes"), uint64_t{recording.lengthSectors} * 512);
    EXPECT_EQ(listed[i].at("hojins"), recording.lengthSectors / 65);
    EXPECT_EQ(listed[i].at("duration_ms"), recording.durationMs);
    EXPECT_EQ(listed[i].at("start"), start.text());
    EXPECT_EQ(listed[i].at("start_iso"), start.iso());
    EXPECT_EQ(listed[i].at("weekday"), start.weekday);
    EXPECT_EQ(listed[i].at("slot_sector"), sample::slotSector(disk().model, recording.slot));
  }
}

TEST_F(SearchListTest, ManualFileFatSizeSkipsTheProbe) {
  const CliRun run = runCli({"--drive", image(), "--fat-size", "72", "list", "--json"});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(nlohmann::json::parse(run.out).at("file_fat_size"), 72);
  const std::string prefix = "  Geschätzter \"File-FAT-Size\"-Wert: ";
  const std::string suffix = " -- benutzter Vorgabewert: 72";
  const auto lines = run.errLines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.starts_with(prefix) && line.ends_with(suffix);
  }));
}

class NoRecorderDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sample::DiskDescription blank = sample::demoDisk();
    blank.signature = sample::SignatureVariant::Missing;
    sample::buildDisk(blank, image_);
  }
  TempDir folder_;
  std::string image_ = folder_.file("blank.img");
};

TEST_F(NoRecorderDiskTest, SearchAndListExitWithThreeAndSayWhy) {
  for (const char* command : {"search", "list"}) {
    SCOPED_TRACE(command);
    const CliRun run = runCli({"--drive", image_, command});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    const auto lines = run.errLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Suche FSR-Festplatte ...");
    EXPECT_EQ(lines[lines.size() - 2], "Keine FSR-5000-Festplatte gefunden.");
    EXPECT_EQ(lines.back(), "Warte auf Benutzer...");
  }
}

TEST_F(NoRecorderDiskTest, JsonCommandsReportTheFailureAsJsonOnStdout) {
  const nlohmann::json expected = {
      {"schema", 1},
      {"error", {{"exit_code", 3}, {"message", "Keine FSR-5000-Festplatte gefunden."}}}};
  for (const char* command : {"list", "rescue", "check"}) {
    SCOPED_TRACE(command);
    const CliRun run = runCli({"--drive", image_, command, "--json"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(nlohmann::json::parse(run.out), expected) << run.out;
  }
}

TEST_F(NoRecorderDiskTest, MissingDrivePathIsNamedWithItsReason) {
  const std::string missing = folder_.file("nosuch.img");
  const CliRun run = runCli({"--drive", missing, "list"});
  EXPECT_EQ(run.status, 3);
  const auto lines = run.errLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 3], " Festplatte 0 \"" + missing +
                                         "\" lässt sich nicht öffnen: Datei oder Gerät gibt es "
                                         "nicht.");
  EXPECT_EQ(lines[lines.size() - 2], "Keine FSR-5000-Festplatte gefunden.");
}

TEST_F(NoRecorderDiskTest, TevionSwitchNamesTheOtherRecorder) {
  const CliRun run = runCli({"--tevion", "--drive", image_, "search"});
  EXPECT_EQ(run.status, 3);
  const auto lines = run.errLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "Suche FSR-Festplatte ...");
  EXPECT_EQ(lines[lines.size() - 2], "Keine PVR-8005-Festplatte gefunden.");
}

TEST_F(NoRecorderDiskTest, ExportWithoutRecorderDiskExitsWithThreeAndWritesNothing) {
  TempDir out;
  const CliRun run = runCli({"--drive", image_, "export", "--all", "-o", out.path()});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

TEST(MissingDriveTest, AnUnopenablePathIsNoRecorderDisk) {
  TempDir folder;
  const CliRun run = runCli({"--drive", folder.file("does-not-exist.img"), "list"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.errLines().back(), "Warte auf Benutzer...");
}

// A recorder that never recorded: the probe finds no File-FAT-Size, but with nothing to
// save there is nothing to warn about.
TEST(EmptyRecorderTest, SearchAndListEndCleanly) {
  TempDir folder;
  sample::DiskDescription disk = sample::demoDisk();
  disk.recordings.clear();
  disk.probeMarker = false;
  const std::string image = folder.file("empty.img");
  sample::buildDisk(disk, image);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"search"}, {"list"}, {"list", "--json"}}) {
    SCOPED_TRACE(command.back());
    std::vector<std::string> arguments = {"--drive", image};
    arguments.insert(arguments.end(), command.begin(), command.end());
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.errLines().back(), "Warte auf Benutzer...");
    EXPECT_EQ(run.err.find("nicht gesichert"), std::string::npos) << run.err;
    if (command.size() == 1) {
      EXPECT_EQ(run.out, "");
    }
  }
}

TEST(AnnouncedEntriesTest, JsonReportsWhatTheDirectoryHeadAnnounces) {
  TempDir folder;
  sample::DiskDescription disk = sample::demoDisk();
  disk.announcedEntries = 7;
  const std::string image = folder.file("announcing.img");
  sample::buildDisk(disk, image);
  const CliRun run = runCli({"--drive", image, "list", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out).at("announced"), 7);
}

}  // namespace
}  // namespace korvelo::test
