// SPDX-License-Identifier: GPL-3.0-or-later
// The switches that become settings: the Tevion model, the relaxed "file_system.sys"
// check and the HOJIN head warnings.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/cli_runner.h"
#include "support/expected_output.h"
#include "support/file_util.h"
#include "support/temp_dir.h"

namespace korvelo::test {
namespace {

sample::DiskDescription oneRecordingDisk() {
  sample::DiskDescription disk = sample::demoDisk();
  disk.recordings.resize(1);  // 100 HOJINs in blocks 0 ... 6
  return disk;
}

TEST(SwitchesTest, TevionDiskIsListedOnlyWithTheTevionSwitch) {
  TempDir folder;
  sample::DiskDescription disk = oneRecordingDisk();
  disk.model = sample::Model::Tevion;
  const std::string image = folder.file("tevion.img");
  sample::buildDisk(disk, image);

  const CliRun withSwitch = runCli({"--tevion", "--drive", image, "list"});
  EXPECT_EQ(withSwitch.status, 0) << withSwitch.err;
  EXPECT_EQ(withSwitch.outLines(), std::vector<std::string>{expectedListLine(disk.recordings[0])});

  // Without the switch the directory is looked for where the FSR-5000 keeps it.
  const CliRun withoutSwitch = runCli({"--drive", image, "list"});
  EXPECT_EQ(withoutSwitch.out, "");

  TempDir out;
  const CliRun saved = runCli({"--tevion", "--drive", image, "export", "0", "-o", out.path()});
  EXPECT_EQ(saved.status, 0) << saved.err;
  EXPECT_EQ(readFileBytes(out.file(expectedFileName(disk.recordings[0]))),
            expectedHavFile(image, disk, disk.recordings[0]));
}

TEST(SwitchesTest, MissingFileSystemSectorNeedsTheRelaxedCheck) {
  TempDir folder;
  sample::DiskDescription disk = oneRecordingDisk();
  disk.fileSys = sample::FileSysSector::Absent;
  const std::string image = folder.file("nofilesys.img");
  sample::buildDisk(disk, image);

  EXPECT_EQ(runCli({"--drive", image, "search"}).status, 3);
  const CliRun relaxed = runCli({"--no-filesys-check", "--drive", image, "list"});
  EXPECT_EQ(relaxed.status, 0) << relaxed.err;
  EXPECT_EQ(relaxed.outLines(), std::vector<std::string>{expectedListLine(disk.recordings[0])});
}

TEST(SwitchesTest, TwoRecordingsOfOneTitleGetTwoFilesEvenWithForce) {
  TempDir folder;
  sample::DiskDescription disk = sample::demoDisk();
  disk.recordings.resize(2);
  disk.recordings[1].title = disk.recordings[0].title;
  const std::string image = folder.file("twice.img");
  sample::buildDisk(disk, image);
  TempDir out;
  const CliRun run = runCli(
      {"--drive", image, "export", "--all", "--no-entry-number", "--force", "-o", out.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string first = expectedFileName(disk.recordings[0], false);
  const std::string second = first.substr(0, first.size() - 4) + " (2).hav";
  EXPECT_EQ(run.outLines(), (std::vector<std::string>{out.file(first), out.file(second)}));
  EXPECT_EQ(readFileBytes(out.file(first)), expectedHavFile(image, disk, disk.recordings[0]));
  EXPECT_EQ(readFileBytes(out.file(second)), expectedHavFile(image, disk, disk.recordings[1]));
}

TEST(SwitchesTest, HeadWarningsOfEveryHojinOnlyWithWarningsSwitch) {
  TempDir folder;
  sample::DiskDescription disk = oneRecordingDisk();
  disk.recordings[0].defects = {{3, sample::HeadDefect::WrongSignature}};
  const std::string image = folder.file("defect.img");
  sample::buildDisk(disk, image);
  const std::string warning = "Warnung: Signatur des Hojin 3  (von 100) fehlerhaft.";

  TempDir quiet;
  const CliRun withoutSwitch = runCli({"--drive", image, "export", "0", "-o", quiet.path()});
  // A wrong head makes the file not the recording's, whether it is warned about or not.
  const std::string damage = "Beschädigt: 1 Hojin mit falschem Kopf.";
  EXPECT_EQ(withoutSwitch.status, 1) << withoutSwitch.err;
  const auto quietLines = withoutSwitch.errLines();
  EXPECT_EQ(std::find(quietLines.begin(), quietLines.end(), warning), quietLines.end());
  EXPECT_NE(std::find(quietLines.begin(), quietLines.end(), damage), quietLines.end());
  EXPECT_TRUE(withoutSwitch.outLines().empty());

  TempDir loud;
  const CliRun withSwitch =
      runCli({"--drive", image, "export", "0", "--warnings", "-o", loud.path()});
  EXPECT_EQ(withSwitch.status, 1) << withSwitch.err;
  const auto loudLines = withSwitch.errLines();
  EXPECT_NE(std::find(loudLines.begin(), loudLines.end(), warning), loudLines.end())
      << withSwitch.err;
  EXPECT_EQ(readFileBytes(loud.file(expectedFileName(disk.recordings[0]))),
            expectedHavFile(image, disk, disk.recordings[0]));
}

}  // namespace
}  // namespace korvelo::test
