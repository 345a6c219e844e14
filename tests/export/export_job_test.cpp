// SPDX-License-Identifier: GPL-3.0-or-later
// Whole exports through HavExportJob: the finished files byte for byte, the warnings on
// HOJIN heads, fragmentation, the sectors after the last whole HOJIN, and unreadable sectors.
#include <gtest/gtest.h>

#include <numeric>

#include "export/export_fixture.h"
#include "recfs/hojin_buffer.h"
#include "support/file_util.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using sample::HeadDefect;
using sample::HojinDefect;
using sample::Recording;
using test::copyToEnd;
using test::expectedHav;
using test::ExportDisk;
using test::preparedJob;
using test::recordingOf;
using test::splitLines;

std::vector<uint32_t> blockRun(uint32_t first, uint32_t count) {
  std::vector<uint32_t> blocks(count);
  std::iota(blocks.begin(), blocks.end(), first);
  return blocks;
}

DiskDescription diskWith(std::vector<Recording> recordings) {
  DiskDescription disk;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{8} << 30;
  disk.recordings = std::move(recordings);
  return disk;
}

// What the job reported, step by step from openFile on: the texts that were not empty.
struct Export {
  std::vector<std::string> texts;
  int steps = 0;
};

Export runExport(HavExportJob& job, bool suppressWarnings) {
  Export result;
  EXPECT_EQ(job.openFile(), 0);
  while (!job.isFinished() && result.steps < 10000) {
    job.copyStep(suppressWarnings);
    ++result.steps;
    if (!job.getMessages().empty()) result.texts.push_back(job.getMessages());
  }
  return result;
}

using Texts = std::vector<std::string>;

// The dump the job must add for HOJIN k: the head of the A-sector the builder wrote.
std::string dumpOf(const ExportDisk& disk, const Recording& recording, int k) {
  const std::vector<uint8_t> bytes = sample::expectedHojin(disk.description(), recording, k);
  HojinBuffer buffer;
  buffer.copyFrom(bytes.data());
  buffer.setSector(sample::hojinSector(disk.description(), recording, k));
  return buffer.dumpHead();
}

TEST(ExportJob, HundredHojinsGiveTheExactFileInTwentyFiveSteps) {
  ExportDisk disk(diskWith({recordingOf(0, blockRun(3, 7), 6500)}));
  const std::string path = disk.output("hundred.hav");
  auto job = preparedJob(disk, 0, path);
  EXPECT_EQ(job->getExpectedSize(), 3329624u);
  const Export run = runExport(*job, true);
  EXPECT_EQ(run.steps, 25);
  EXPECT_EQ(job->getErrorCode(), 0);
  EXPECT_EQ(job->getMessages(), "Speichern abgeschlossen.");
  EXPECT_FALSE(job->isFragmented());
  EXPECT_EQ(job->getBytesWritten(), 3329624u);
  EXPECT_EQ(job->getPercentWritten(), 100);
  EXPECT_EQ(test::readFileBytes(path), expectedHav(disk, disk.recording(0)));
}

TEST(ExportJob, OpenFileWritesHeadEntryImageAndTheFirstHojin) {
  ExportDisk disk(diskWith({recordingOf(0, blockRun(3, 7), 6500)}));
  const std::string path = disk.output("first.hav");
  auto job = preparedJob(disk, 0, path);
  ASSERT_EQ(job->openFile(), 0);
  const std::vector<uint8_t> whole = expectedHav(disk, disk.recording(0));
  EXPECT_EQ(test::readFileBytes(path),
            std::vector<uint8_t>(whole.begin(), whole.begin() + 1624 + 33280));
  EXPECT_EQ(job->getCurrentHojin(), 1);
  EXPECT_EQ(job->getMessages(), "");
}

TEST(ExportJob, FollowsTheFileFatOverScatteredBlocks) {
  Recording recording = recordingOf(0, {40, 9, 700, 12}, 60 * 65);
  recording.entryNumber = 4;  // its file FAT lies in region 5
  ExportDisk disk(diskWith({recording}));
  const std::string path = disk.output("scattered.hav");
  auto job = preparedJob(disk, 4, path);
  runExport(*job, true);
  EXPECT_TRUE(job->isFragmented());
  EXPECT_EQ(job->getMessages(), "Speichern abgeschlossen.");
  EXPECT_EQ(test::readFileBytes(path), expectedHav(disk, disk.recording(0)));
}

TEST(ExportJob, TevionDiskIsCopiedThroughItsOwnLayout) {
  DiskDescription description = diskWith({recordingOf(0, {2, 8}, 20 * 65 + 3)});
  description.model = sample::Model::Tevion;
  ExportDisk disk(description);
  const std::string path = disk.output("tevion.hav");
  auto job = preparedJob(disk, 0, path);
  runExport(*job, true);
  EXPECT_EQ(job->getMessages(), "Speichern abgeschlossen.");
  EXPECT_EQ(test::readFileBytes(path), expectedHav(disk, disk.recording(0)));
}

TEST(ExportJob, FragmentationIsNotedWhileTheLastHojinBeforeTheJumpIsCopied) {
  ExportDisk disk(diskWith({recordingOf(0, {5, 6, 20}, 40 * 65)}));
  auto job = std::make_unique<HavExportJob>(disk.disk());
  job->setFreeSpaceQuery([](const std::string&) { return FreeSpace{uint64_t{1} << 40, 0}; });
  auto chooser = test::ScriptedChooser::choosing(disk.output("jump.hav"));
  std::string folder = disk.folder();
  ASSERT_EQ(job->prepareSave(disk.entry(0), chooser, nullptr, folder, 1, false), 0);
  ASSERT_EQ(job->openFile(), 0);
  while (job->getCurrentHojin() < 31) job->copyStep(true);
  EXPECT_FALSE(job->isFragmented());
  job->copyStep(true);
  ASSERT_EQ(job->getCurrentHojin(), 32);
  EXPECT_TRUE(job->isFragmented());
}

TEST(ExportJob, ARecordingEndingWithAFullBlockStaysUnfragmented) {
  ExportDisk disk(diskWith({recordingOf(0, {5, 6}, 32 * 65)}));
  auto job = preparedJob(disk, 0, disk.output("two-blocks.hav"));
  runExport(*job, true);
  EXPECT_FALSE(job->isFragmented());
  EXPECT_EQ(job->getMessages(), "Speichern abgeschlossen.");
}

struct TailCase {
  const char* name;
  std::vector<uint32_t> blocks;
  uint32_t sectors;
};

class PartialHojin : public ::testing::TestWithParam<TailCase> {};

TEST_P(PartialHojin, SectorsAfterTheLastWholeHojinComeFromWhereTheNextWouldLie) {
  const TailCase& c = GetParam();
  ExportDisk disk(diskWith({recordingOf(0, c.blocks, c.sectors)}));
  const std::string path = disk.output(std::string(c.name) + ".hav");
  auto job = preparedJob(disk, 0, path);
  runExport(*job, true);
  EXPECT_EQ(job->getErrorCode(), 0);
  EXPECT_EQ(job->getMessages(), "Speichern abgeschlossen.");
  const std::vector<uint8_t> file = test::readFileBytes(path);
  EXPECT_EQ(file.size(), 1624u + 512u * c.sectors);
  EXPECT_EQ(file, expectedHav(disk, disk.recording(0)));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, PartialHojin,
    ::testing::Values(TailCase{"tenMore", blockRun(3, 7), 6500 + 10},
                      TailCase{"tailInAnotherBlock", {3, 4, 5, 6, 7, 8, 50}, 6500 + 64},
                      TailCase{"underOneHojin", {12}, 30}, TailCase{"empty", {12}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExportJob, AMissingBlockEndsTheCopyAsIncomplete) {
  ExportDisk disk(diskWith({recordingOf(0, {3, 4}, 40 * 65)}));
  const std::string path = disk.output("short.hav");
  auto job = preparedJob(disk, 0, path);
  const Export run = runExport(*job, true);
  EXPECT_EQ(job->getErrorCode(), 5);
  EXPECT_TRUE(job->isFragmented());  // HOJIN 32 has no successor on the disk
  EXPECT_EQ(run.texts,
            Texts{"Abbruch, da Sektor des Hojin #33 (von 40) nicht ermittelt werden konnte.\r\n"
                  "Speichern unvollständig: 1.066.584 von 1.332.824 Bytes geschrieben."});
  EXPECT_EQ(test::readFileBytes(path), expectedHav(disk, disk.recording(0), 32));
}

// The sectors after HOJIN 16 would lie in a second block the file FAT does not name: the
// message says what is missing, and the file keeps the 16 whole HOJINs.
TEST(ExportJob, AnUnlocatableTailNamesTheSectorsAfterTheLastWholeHojin) {
  ExportDisk disk(diskWith({recordingOf(0, {3}, 16 * 65 + 10)}));
  const std::string path = disk.output("tail.hav");
  auto job = preparedJob(disk, 0, path);
  const Export run = runExport(*job, true);
  EXPECT_EQ(job->getErrorCode(), 5);
  EXPECT_EQ(run.texts,
            Texts{"Abbruch, da die 10 Sektoren nach Hojin 16 (von 16) nicht ermittelt werden "
                  "konnten; die Datei behält die ganzen Hojins.\r\n"
                  "Speichern unvollständig: 534.104 von 539.224 Bytes geschrieben."});
  EXPECT_EQ(test::readFileBytes(path), expectedHav(disk, disk.recording(0), 16));
}

TEST(ExportJob, ARecordingWithoutFileFatStopsAtTheFirstHojin) {
  Recording recording = recordingOf(0, {3}, 10 * 65);
  recording.writeFileFat = false;
  ExportDisk disk(diskWith({recording}));
  auto job = preparedJob(disk, 0, disk.output("nofat.hav"));
  const Export run = runExport(*job, true);
  EXPECT_EQ(run.steps, 1);
  EXPECT_EQ(job->getErrorCode(), 5);
  EXPECT_EQ(run.texts,
            Texts{"Abbruch, da Sektor des Hojin #1 (von 10) nicht ermittelt werden konnte.\r\n"
                  "Speichern unvollständig: 1.624 von 334.424 Bytes geschrieben."});
}

Recording defectiveRecording() {
  Recording recording = recordingOf(0, blockRun(3, 3), 40 * 65);
  recording.defects = {{1, HeadDefect::NotRecordingStart},
                       {5, HeadDefect::WrongSignature},
                       {9, HeadDefect::WrongInternalNumbers},
                       {13, HeadDefect::WrongOrder},
                       {20, HeadDefect::NoHead}};
  return recording;
}

TEST(HojinChecks, EveryWarningWithItsDumpInHojinOrder) {
  ExportDisk disk(diskWith({defectiveRecording()}));
  const Recording& recording = disk.recording(0);
  auto job = preparedJob(disk, 0, disk.output("defects.hav"));
  const Export run = runExport(*job, false);
  // Step 1 copies HOJINs 2 ... 5 and passes on what openFile found in HOJIN 1.
  EXPECT_EQ(
      run.texts,
      (Texts{
          "\r\nWarnung: Erster Hojin (von 40) ist kein Aufzeichnungsanfang."
          "\r\nWarnung: Signatur des Hojin 5  (von 40) fehlerhaft.\r\n" +
              dumpOf(disk, recording, 5),
          "\r\nWarnung: Hojin 9 (von 40) hat die interne Nummer 9 und 10.\r\n" +
              dumpOf(disk, recording, 9),
          "\r\nWarnung: Reihenfolge ist falsch, Hojin 13 (von 40) hat die interne Nummer 14.\r\n" +
              dumpOf(disk, recording, 13),
          "\r\nWarnung: Signatur des Hojin 20  (von 40) fehlerhaft.\r\n" +
              dumpOf(disk, recording, 20),
          "Speichern abgeschlossen."}));
  EXPECT_EQ(test::readFileBytes(job->getPath()), expectedHav(disk, recording));
}

// The numbers of warning b are signed, as specified: 0xFFFFFFFF is -1.
TEST(HojinChecks, DisagreeingNumbersAreShownSigned) {
  DiskDescription description = diskWith({recordingOf(0, {3}, 8 * 65)});
  const int64_t second = sample::hojinSector(description, description.recordings[0], 2);
  std::vector<uint8_t> head(512, 0);
  const uint8_t start[20] = {'[', 'H', 'O', 'J', 'I', 'N', ' ', 'A', 0,    0,
                             2,   0,   0,   0,   0,   0,   0,   0,   0x80, 0};
  std::copy(std::begin(start), std::end(start), head.begin());
  head[35] = 65;  // 65 x (2 - 1): internal number 2
  for (int i = 56; i < 60; ++i) head[static_cast<size_t>(i)] = 0xFF;
  description.rawSectors.push_back({second, head});
  ExportDisk disk(description);
  auto job = preparedJob(disk, 0, disk.output("signed.hav"));
  const Export run = runExport(*job, false);
  const std::string all = std::accumulate(run.texts.begin(), run.texts.end(), std::string());
  EXPECT_NE(all.find("\r\nWarnung: Hojin 2 (von 8) hat die interne Nummer 2 und -1.\r\n"),
            std::string::npos)
      << all;
}

TEST(HojinChecks, SuppressedWarningsLeaveOnlyTheOrderAndTheFirstHojin) {
  ExportDisk disk(diskWith({defectiveRecording()}));
  const Recording& recording = disk.recording(0);
  auto job = preparedJob(disk, 0, disk.output("quiet.hav"));
  const Export run = runExport(*job, true);
  // HOJIN 20 has no head at all: with the signature test skipped, its order is wrong.
  ASSERT_EQ(run.texts.size(), 4u);
  EXPECT_EQ(run.texts[0], "\r\nWarnung: Erster Hojin (von 40) ist kein Aufzeichnungsanfang.");
  EXPECT_EQ(
      run.texts[1],
      "\r\nWarnung: Reihenfolge ist falsch, Hojin 13 (von 40) hat die interne Nummer 14.\r\n" +
          dumpOf(disk, recording, 13));
  const std::vector<std::string> lines = splitLines(run.texts[2]);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].rfind(
                "Warnung: Reihenfolge ist falsch, Hojin 20 (von 40) hat die interne Nummer ", 0),
            0u);
  EXPECT_EQ(lines[2], dumpOf(disk, recording, 20));
  EXPECT_EQ(run.texts[3], "Speichern abgeschlossen.");
}

TEST(HojinChecks, TheFirstHojinIsCheckedFullyEvenWithWarningsSuppressed) {
  Recording recording = recordingOf(0, {3}, 8 * 65);
  recording.defects = {{1, HeadDefect::WrongSignature}};
  ExportDisk disk(diskWith({recording}));
  auto job = preparedJob(disk, 0, disk.output("first-bad.hav"));
  ASSERT_EQ(job->openFile(), 0);
  const std::string afterOpen = job->getMessages();
  EXPECT_EQ(afterOpen, "\r\nWarnung: Signatur des Hojin 1  (von 8) fehlerhaft.\r\n" +
                           dumpOf(disk, disk.recording(0), 1));
  // The first step passes openFile's messages on before its own.
  job->copyStep(true);
  EXPECT_EQ(job->getMessages(), afterOpen);
  job->copyStep(true);
  EXPECT_EQ(job->getMessages(), "Speichern abgeschlossen.");
}

// The verdict on the finished file: every head that says its bytes are not this HOJIN's
// counts, warned about or not; a first HOJIN without the start mark does not.
struct HeadVerdictCase {
  const char* name;
  HojinDefect defect;
  int wrongHeads;
  const char* reason;  // empty: complete
};

class HeadVerdict : public ::testing::TestWithParam<HeadVerdictCase> {};

TEST_P(HeadVerdict, EveryWrongHeadMakesTheFileIncomplete) {
  const HeadVerdictCase& c = GetParam();
  Recording recording = recordingOf(0, {3}, 8 * 65);
  recording.defects = {c.defect};
  ExportDisk disk(diskWith({recording}));
  auto job = preparedJob(disk, 0, disk.output("verdict.hav"));
  runExport(*job, true);
  const ExportResult result = job->takeResult();
  EXPECT_EQ(result.wrongHeadHojins, c.wrongHeads);
  EXPECT_EQ(result.incompleteReason(), c.reason);
  EXPECT_EQ(result.complete(), std::string(c.reason).empty());
  EXPECT_EQ(result.fileBytes, result.expectedBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Defects, HeadVerdict,
    ::testing::Values(
        HeadVerdictCase{"Healthy", {1, HeadDefect::None}, 0, ""},
        HeadVerdictCase{
            "Signature", {2, HeadDefect::WrongSignature}, 1, " (1 HOJIN mit falschem Kopf)"},
        HeadVerdictCase{"SecondNumber",
                        {2, HeadDefect::WrongInternalNumbers},
                        1,
                        " (1 HOJIN mit falschem Kopf)"},
        HeadVerdictCase{"Order", {5, HeadDefect::WrongOrder}, 1, " (1 HOJIN mit falschem Kopf)"},
        HeadVerdictCase{"NoHead", {8, HeadDefect::NoHead}, 1, " (1 HOJIN mit falschem Kopf)"},
        HeadVerdictCase{"NoRecordingStart", {1, HeadDefect::NotRecordingStart}, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnreadableSectors, AreZeroFilledAndReported) {
  const Recording recording = recordingOf(0, blockRun(3, 2), 20 * 65);
  const DiskDescription description = diskWith({recording});
  const int64_t third = sample::hojinSector(description, recording, 3);
  ExportDisk disk(description, {third + 5, third + 64});
  const std::string path = disk.output("damaged.hav");
  auto job = preparedJob(disk, 0, path);
  const Export run = runExport(*job, true);
  EXPECT_EQ(run.texts,
            (Texts{"\r\nWarnung: 2 Sektoren des Hojin 3 (von 20) nicht lesbar, mit Nullen gefüllt.",
                   "Speichern abgeschlossen."}));
  EXPECT_EQ(job->getDamagedHojins(), 1);
  EXPECT_EQ(job->getUnreadableSectors(), 2);
  std::vector<uint8_t> expected = expectedHav(disk, disk.recording(0));
  const size_t hojin3 = 1624 + 2 * 33280;
  std::fill_n(expected.begin() + hojin3 + 5 * 512, 512, 0);
  std::fill_n(expected.begin() + hojin3 + 64 * 512, 512, 0);
  EXPECT_EQ(test::readFileBytes(path), expected);
}

TEST(UnreadableSectors, AContinuedFileKeepsAndCountsTheDamageOfItsKeptPart) {
  const Recording recording = recordingOf(0, blockRun(3, 2), 20 * 65);
  const DiskDescription description = diskWith({recording});
  const int64_t third = sample::hojinSector(description, recording, 3);
  ExportDisk disk(description, {third + 5, third + 64});
  const std::string path = disk.output("continued.hav");
  auto first = preparedJob(disk, 0, path);
  ASSERT_EQ(first->openFile(), 0);
  first->copyStep(true);  // HOJINs 2 ... 5: the damaged third among them
  ASSERT_TRUE(first->stopAndKeep());
  const ExportResult earlier = first->takeResult();
  ASSERT_EQ(earlier.damage.zeroFilledSectors(), 2);

  auto resumed = preparedJob(disk, 0, path, true);
  resumed->carryDamage(earlier.damage, false);
  // What the manifest would say of the kept file: without it nothing of it is kept.
  const std::vector<uint8_t> kept = test::readFileBytes(path);
  resumed->expectRecordedFile(
      RecordedFile{static_cast<int64_t>(kept.size()), test::sha256Hex(kept), {}});
  ASSERT_EQ(resumed->openFile(), 0);
  copyToEnd(*resumed);
  const ExportResult result = resumed->takeResult();
  EXPECT_EQ(result.damage.areas(), earlier.damage.areas());
  EXPECT_EQ(result.damage.damagedHojins(), 1);
  EXPECT_EQ(result.incompleteReason(), " (1 HOJIN mit unlesbaren Sektoren)");
  EXPECT_EQ(result.keptBytes, 1624 + 5 * 33280);
  EXPECT_EQ(result.bytesWrittenNow(), 15 * 33280);
}

// The head is zeros because it could not be read: no head warning speaks of it, the
// HOJIN counts as damaged.
TEST(UnreadableSectors, AnUnreadableASectorNeverCarriesTheHojinBeforeNorGetsHeadWarnings) {
  const Recording recording = recordingOf(0, blockRun(3, 2), 20 * 65);
  const DiskDescription description = diskWith({recording});
  const int64_t fourth = sample::hojinSector(description, recording, 4);
  ExportDisk disk(description, {fourth});
  const std::string path = disk.output("no-a-sector.hav");
  auto job = preparedJob(disk, 0, path);
  const Export run = runExport(*job, false);
  ASSERT_FALSE(run.texts.empty());
  const std::vector<std::string> lines = splitLines(run.texts[0]);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "Warnung: 1 Sektor des Hojin 4 (von 20) nicht lesbar, mit Nullen gefüllt.");
  for (const std::string& text : run.texts) {
    EXPECT_EQ(text.find("Signatur des Hojin"), std::string::npos) << text;
    EXPECT_EQ(text.find("interne Nummer"), std::string::npos) << text;
  }
  EXPECT_EQ(job->getDamagedHojins(), 1);
  EXPECT_EQ(job->getWrongHeadHojins(), 0);
  std::vector<uint8_t> expected = expectedHav(disk, disk.recording(0));
  std::fill_n(expected.begin() + 1624 + 3 * 33280, 512, 0);
  EXPECT_EQ(test::readFileBytes(path), expected);
  EXPECT_EQ(job->getUnreadableSectors(), 1);
}

}  // namespace
}  // namespace korvelo
