// SPDX-License-Identifier: GPL-3.0-or-later
// Every answer of prepareSave: chosen, cancelled, failed dialog, free space and its
// failure, the folder that follows the chosen path, and the progress scales.
#include <gtest/gtest.h>

#include "export/export_fixture.h"
#include "support/file_util.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using sample::Recording;
using test::ExportDisk;
using test::recordingOf;
using test::ScriptedChooser;

constexpr uint64_t kHundredHojinFile = 3329624;

DiskDescription diskWith(std::vector<Recording> recordings) {
  DiskDescription disk;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{8} << 30;
  disk.recordings = std::move(recordings);
  return disk;
}

Recording titled(int slot, uint16_t entryNumber, std::string title, uint32_t sectors) {
  Recording recording = recordingOf(slot, {}, sectors);
  recording.entryNumber = entryNumber;
  recording.title = std::move(title);
  return recording;
}

class PrepareSave : public ::testing::Test {
 protected:
  PrepareSave()
      : disk(
            diskWith({titled(0, 7, "Tagesschau: 20/15", 6500), titled(1, 1, "Riesig", 67108861),
                      titled(2, 2, "Grenze", 67108860), titled(3, 3, "Vierzigtausend", 40000u * 65),
                      titled(4, 4, "Kante", 32767u * 65)})) {}

  int prepare(HavExportJob& job, ScriptedChooser& chooser, int entryNumber = 7,
              bool withNumber = true) {
    return job.prepareSave(disk.entry(entryNumber), chooser, &parent, folder, 4, withNumber);
  }
  void freeSpace(HavExportJob& job, FreeSpace answer) {
    job.setFreeSpaceQuery([this, answer](const std::string& path) {
      queried.push_back(path);
      return answer;
    });
  }

  ExportDisk disk;
  std::string folder = "/srv/filme";
  const int parent = 0;
  std::vector<std::string> queried;
};

TEST_F(PrepareSave, ChosenTargetIsReadyWithTheFreeSpaceLine) {
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{uint64_t{160039272960}, 0});
  auto chooser = ScriptedChooser::choosing("/srv/filme/x.hav");
  EXPECT_EQ(prepare(job, chooser), 0);
  ASSERT_EQ(chooser.requests.size(), 1u);
  EXPECT_EQ(chooser.requests[0].proposedName, "07 Tagesschau 2015.hav");
  EXPECT_EQ(chooser.requests[0].initialFolder, "/srv/filme");
  EXPECT_EQ(chooser.requests[0].parent, &parent);
  EXPECT_EQ(job.getPath(), "/srv/filme/x.hav");
  EXPECT_EQ(queried, std::vector<std::string>{"/srv/filme/x.hav"});
  EXPECT_EQ(job.getMessages(), "Freier Speicherplatz auf der Festplatte: 160.039.272.960 Bytes");
  EXPECT_EQ(job.getExpectedSize(), kHundredHojinFile);
  EXPECT_EQ(job.getNumberOfHojins(), 100);
  EXPECT_EQ(folder, "/srv/filme");
}

TEST_F(PrepareSave, FolderFollowsTheChosenPathComparedExactly) {
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{uint64_t{1} << 40, 0});
  auto chooser = ScriptedChooser::choosing("/srv/Filme/x.hav");
  EXPECT_EQ(prepare(job, chooser), 0);
  EXPECT_EQ(folder, "/srv/Filme");
}

TEST_F(PrepareSave, CancelledDialogLeavesNoMessage) {
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{uint64_t{1} << 40, 0});
  auto chooser = ScriptedChooser::cancelling();
  EXPECT_EQ(prepare(job, chooser), 10);
  EXPECT_EQ(job.getMessages(), "");
  EXPECT_TRUE(queried.empty());
  EXPECT_EQ(folder, "/srv/filme");
}

TEST_F(PrepareSave, FailedDialogNamesTheProposedNameAndItsError) {
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{uint64_t{1} << 40, 0});
  auto chooser = ScriptedChooser::failing(12291);
  EXPECT_EQ(prepare(job, chooser, 7, false), 1);
  EXPECT_EQ(job.getMessages(), "FN = \"Tagesschau 2015.hav\", Error = 12291");
  EXPECT_TRUE(queried.empty());
}

TEST_F(PrepareSave, ExactlyTheExpectedSizeFreeIsEnough) {
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{kHundredHojinFile, 0});
  auto chooser = ScriptedChooser::choosing("/srv/filme/x.hav");
  EXPECT_EQ(prepare(job, chooser), 0);
  EXPECT_EQ(job.getMessages(), "Freier Speicherplatz auf der Festplatte: 3.329.624 Bytes");
}

TEST_F(PrepareSave, OneByteLessIsTooLittleSpace) {
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{kHundredHojinFile - 1, 0});
  auto chooser = ScriptedChooser::choosing("/srv/filme/x.hav");
  EXPECT_EQ(prepare(job, chooser), 10000);
  EXPECT_EQ(
      job.getMessages(),
      "Freier Speicherplatz auf der Festplatte: 3.329.623 Bytes\r\nZuwenig Platz zum Speichern.");
}

// What a file to be continued already holds needs no space again; a new file needs it all.
TEST_F(PrepareSave, AFileToBeContinuedNeedsOnlyTheSpaceForWhatIsMissing) {
  test::TempDir dir;
  const std::string path = dir.file("x.hav");
  const int64_t present = 1000000;
  test::createSparseFile(path, present);
  for (const bool resume : {true, false}) {
    SCOPED_TRACE(resume);
    HavExportJob job(disk.disk());
    freeSpace(job, FreeSpace{kHundredHojinFile - present, 0});
    auto chooser = ScriptedChooser::choosing(path);
    chooser.answer.resume = resume;
    EXPECT_EQ(prepare(job, chooser), resume ? 0 : 10000);
  }
}

TEST_F(PrepareSave, FailedFreeSpaceQueryIsReportedAndSavingGoesOn) {
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{std::nullopt, 13});
  auto chooser = ScriptedChooser::choosing("/srv/filme/x.hav");
  EXPECT_EQ(prepare(job, chooser), 0);
  EXPECT_EQ(job.getMessages(),
            "Fehler beim Prüfen des freien Festplattenplatz: Error code = 0x0000000D");
}

TEST_F(PrepareSave, TheRealFreeSpaceQueryFailsForAMissingFolder) {
  HavExportJob job(disk.disk());
  auto chooser = ScriptedChooser::choosing("/nonexistent-korvelo-folder/x.hav");
  EXPECT_EQ(prepare(job, chooser), 0);
  EXPECT_EQ(job.getMessages(),
            "Fehler beim Prüfen des freien Festplattenplatz: Error code = 0x00000002");
}

TEST_F(PrepareSave, AFreshPrepareForgetsEarlierMessages) {
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{kHundredHojinFile - 1, 0});
  auto chooser = ScriptedChooser::choosing("/srv/filme/x.hav");
  ASSERT_EQ(prepare(job, chooser), 10000);
  auto cancelling = ScriptedChooser::cancelling();
  EXPECT_EQ(prepare(job, cancelling), 10);
  EXPECT_EQ(job.getMessages(), "");
}

struct ScaleCase {
  int entryNumber;
  int byteShift;
  int hojinShift;
};

class ProgressScales : public PrepareSave, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(ProgressScales, BringSizeAndHojinCountIntoTheBarRange) {
  const ScaleCase& c = GetParam();
  HavExportJob job(disk.disk());
  freeSpace(job, FreeSpace{uint64_t{1} << 50, 0});
  auto chooser = ScriptedChooser::choosing("/srv/filme/x.hav");
  ASSERT_EQ(prepare(job, chooser, c.entryNumber), 0);
  EXPECT_EQ(job.getByteBarShift(), c.byteShift);
  EXPECT_EQ(job.getHojinBarShift(), c.hojinShift);
}

// 67108861 sectors make the file just reach 32768 MiB (2^35 bytes); one sector less stays below.
// 67108861 / 65 = 1032444 HOJINs need a shift of 5.
INSTANTIATE_TEST_SUITE_P(Sizes, ProgressScales,
                         ::testing::Values(ScaleCase{7, 20, 0}, ScaleCase{1, 21, 5},
                                           ScaleCase{2, 20, 5}, ScaleCase{3, 20, 1},
                                           ScaleCase{4, 20, 0}));

}  // namespace
}  // namespace korvelo
