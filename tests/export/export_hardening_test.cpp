// SPDX-License-Identifier: GPL-3.0-or-later
// Exports of recordings whose entries or images are damaged: lengths of 0 and of
// 0xFFFFFFFF sectors, titles that try to leave the chosen folder, file FATs without a
// block, and images that end inside a recording. The job reports and finishes; the
// only file written is the one in the chosen folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "export/hav_export_job.h"
#include "recfs/fsr5000_disk.h"
#include "support/file_util.h"
#include "support/hardening_fixture.h"

namespace korvelo::test {
namespace {

constexpr int64_t kDataAreaStartF72 = 6662704 + 2001 * 72;

void putLittle(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes[offset + size_t(i)] = static_cast<uint8_t>(value >> (8 * i));
}

FreeSpaceQuery fixedFreeSpace(uint64_t bytes) {
  return [bytes](const std::string&) { return FreeSpace{bytes, 0}; };
}

struct ExportRun {
  int prepared = -1;
  int opened = -1;
  std::vector<std::string> messages;  // of openFile and every step
  std::unique_ptr<HavExportJob> job;
};

// Prepares, opens and copies the first recording of the disk into `folder`.
ExportRun exportFirst(Fsr5000Disk& recorder, FolderChooser& chooser, const std::string& folder,
                      bool entryNumberInFileName = true) {
  ExportRun run;
  run.job = std::make_unique<HavExportJob>(recorder);
  run.job->setFreeSpaceQuery(fixedFreeSpace(uint64_t{1} << 40));
  std::string current = folder;
  run.prepared = run.job->prepareSave(*recorder.getEntries().at(0), chooser, nullptr, current, 4,
                                      entryNumberInFileName);
  if (run.prepared != 0) return run;
  run.opened = run.job->openFile();
  for (int steps = 0; !run.job->isFinished() && steps < 1000; ++steps) {
    run.job->copyStep(true);
    for (const std::string& line : linesOf(run.job->getMessages())) run.messages.push_back(line);
  }
  return run;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ExportHardening, RecordingOfZeroSectorsIsHeadAndEntryOnly) {
  sample::Recording recording = recordingAt(0, {0}, 0);
  recording.title = "Leer";
  sample::DiskDescription disk;
  disk.recordings = {recording};
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(72);
  ASSERT_TRUE(recorder.readDirectory(false));
  FolderChooser chooser(image.outputFolder());

  const ExportRun run = exportFirst(recorder, chooser, image.outputFolder());
  ASSERT_EQ(run.prepared, 0);
  EXPECT_EQ(run.job->getExpectedSize(), 1624u);
  EXPECT_EQ(run.job->getNumberOfHojins(), 0);
  EXPECT_EQ(run.opened, 0);
  ASSERT_TRUE(run.job->isFinished());
  EXPECT_EQ(run.job->getErrorCode(), 0);
  EXPECT_TRUE(contains(run.messages, "Speichern abgeschlossen."));

  std::vector<uint8_t> expected(88, 0);
  putLittle(expected, 0, 113, 4);
  putLittle(expected, 8, 1536, 8);
  putLittle(expected, 16, 1536, 4);
  std::copy_n("Leer", 4, expected.begin() + 46);
  putLittle(expected, 80, 600, 4);
  const std::vector<uint8_t> entry = sample::entryImage(recording);
  expected.insert(expected.end(), entry.begin(), entry.end());
  EXPECT_EQ(readFileBytes(image.outputFolder() + "/00 Leer.hav"), expected);
}

// 0xFFFFFFFF sectors: sizes in 64 bits, the HOJIN count and the bars' scales without
// overflow, and a plain "too little space" when the target cannot hold 2 TB.
TEST(ExportHardening, RecordingOfTheLargestLengthIsSizedWithoutOverflow) {
  sample::Recording recording = recordingAt(0, {0}, 65);
  sample::DiskDescription disk;
  disk.recordings = {recording};
  // The length field (offset 148 of the entry image) set to FF FF FF FF.
  std::vector<uint8_t> image = sample::entryImage(recording);
  std::fill_n(image.begin() + 148, 4, 0xFF);
  disk.rawSectors.push_back(slotPoke(0, image));
  HardeningDisk built(disk);
  Fsr5000Disk recorder('0');
  ASSERT_TRUE(recorder.readDirectory(false));
  const DirectoryEntry& entry = *recorder.getEntries().at(0);
  EXPECT_EQ(entry.getSizeInBytes(), 2199023255040u);
  EXPECT_EQ(entry.getNumberOfHojins(), 66076419u);

  FolderChooser chooser(built.outputFolder());
  HavExportJob job(recorder);
  job.setFreeSpaceQuery(fixedFreeSpace(1000000000000));
  std::string folder = built.outputFolder();
  EXPECT_EQ(job.prepareSave(entry, chooser, nullptr, folder, 4, true), 10000);
  EXPECT_EQ(job.getExpectedSize(), 2199023256664u);
  EXPECT_EQ(job.getNumberOfHojins(), 66076419);
  EXPECT_EQ(
      linesOf(job.getMessages()),
      (std::vector<std::string>{"Freier Speicherplatz auf der Festplatte: 1.000.000.000.000 Bytes",
                                "Zuwenig Platz zum Speichern."}));

  HavExportJob roomy(recorder);
  roomy.setFreeSpaceQuery(fixedFreeSpace(uint64_t{1} << 50));
  EXPECT_EQ(roomy.prepareSave(entry, chooser, nullptr, folder, 4, true), 0);
  EXPECT_EQ(roomy.getByteBarShift(), 27);   // 2199023256664 >> 27 = 16384
  EXPECT_EQ(roomy.getHojinBarShift(), 11);  // 66076419 >> 11 = 32263
  EXPECT_TRUE(filesIn(built.outputFolder()).empty()) << "preparing writes nothing";
}

struct TitleCase {
  std::string title;  // raw bytes; 36 and more leave no NUL
  bool entryNumberInFileName;
  std::string proposed;
};

class HostileTitle : public ::testing::TestWithParam<TitleCase> {};

TEST_P(HostileTitle, ProposedNameIsAPlainFileInTheChosenFolder) {
  const TitleCase& c = GetParam();
  sample::Recording recording = recordingAt(0, {0}, 65);
  recording.title = c.title;
  sample::DiskDescription disk;
  disk.recordings = {recording};
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(72);
  ASSERT_TRUE(recorder.readDirectory(false));
  FolderChooser chooser(image.outputFolder());

  const ExportRun run =
      exportFirst(recorder, chooser, image.outputFolder(), c.entryNumberInFileName);
  ASSERT_EQ(chooser.requests.size(), 1u);
  EXPECT_EQ(chooser.requests[0].proposedName, c.proposed);
  EXPECT_EQ(run.prepared, 0);
  EXPECT_EQ(run.job->getErrorCode(), 0);
  EXPECT_EQ(filesIn(image.outputFolder()), std::vector<std::string>{c.proposed});
  EXPECT_EQ(fileSize(image.outputFolder() + "/" + c.proposed), 1624 + 33280);
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, HostileTitle,
    ::testing::Values(TitleCase{"../../etc/passwd", true, "00 ....etcpasswd.hav"},
                      TitleCase{"../../etc/passwd", false, "....etcpasswd.hav"},
                      TitleCase{"/", false, ".hav"}, TitleCase{"/", true, "00 .hav"},
                      TitleCase{".", false, "..hav"}, TitleCase{"..", false, "...hav"},
                      TitleCase{"", false, ".hav"},
                      TitleCase{"a/b\\c:d*e?f", true, "00 abcdef.hav"},
                      TitleCase{"\x01Nach\tricht\x1F\n\x80\x9F", true, "00 Nachricht.hav"},
                      TitleCase{"\x7F\xA0\xE4", false, "\x7F\xC2\xA0\xC3\xA4.hav"},
                      TitleCase{std::string(36, 'X'), true,
                                "00 " + std::string(36, 'X') + ".hav"}));

TEST(ExportHardening, FileFatWithoutBitsEndsTheCopyWithItsMessage) {
  sample::Recording recording = recordingAt(0, {0}, 16 * 65);
  recording.writeFileFat = false;
  sample::DiskDescription disk;
  disk.recordings = {recording};
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(72);
  ASSERT_TRUE(recorder.readDirectory(false));
  FolderChooser chooser(image.outputFolder());

  const ExportRun run = exportFirst(recorder, chooser, image.outputFolder());
  ASSERT_EQ(run.opened, 0);
  ASSERT_TRUE(run.job->isFinished());
  EXPECT_EQ(run.job->getErrorCode(), HavExportJob::kIncomplete);
  EXPECT_TRUE(contains(run.messages,
                       "Abbruch, da Sektor des Hojin #1 (von 16) nicht ermittelt werden konnte."));
  EXPECT_TRUE(
      contains(run.messages, "Speichern unvollständig: 1.624 von 534.104 Bytes geschrieben."));
  EXPECT_EQ(fileSize(image.outputFolder() + "/00 Aufnahme 0.hav"), 1624);
}

TEST(ExportHardening, EntryNumberBeyondTheFatRegionsEndsTheCopy) {
  sample::Recording recording = recordingAt(0, {0}, 65);
  recording.entryNumber = 2000;
  recording.writeFileFat = false;  // it has no FAT region of its own
  sample::DiskDescription disk;
  disk.recordings = {recording};
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(72);
  ASSERT_TRUE(recorder.readDirectory(false));
  FolderChooser chooser(image.outputFolder());

  const ExportRun run = exportFirst(recorder, chooser, image.outputFolder());
  ASSERT_EQ(chooser.requests.size(), 1u);
  EXPECT_EQ(chooser.requests[0].proposedName, "2000 Aufnahme 0.hav");
  EXPECT_EQ(run.job->getErrorCode(), HavExportJob::kIncomplete);
  EXPECT_TRUE(contains(run.messages,
                       "Abbruch, da Sektor des Hojin #1 (von 1) nicht ermittelt werden konnte."));
}

// The image ends 10 sectors into HOJIN 2 of 3: HOJIN 2 keeps its 10 sectors and has the
// 55 past the end zero-filled with a warning, HOJIN 3 cannot be read at all; the file
// still gets its size, and counts as damaged.
TEST(ExportHardening, ImageEndingInsideARecording) {
  sample::Recording recording = recordingAt(0, {0}, 3 * 65);
  sample::DiskDescription disk;
  disk.recordings = {recording};
  const int64_t cut = (kDataAreaStartF72 + 65 + 10) * 512;
  HardeningDisk image(disk, cut);
  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(72);
  ASSERT_TRUE(recorder.readDirectory(false));
  FolderChooser chooser(image.outputFolder());

  const ExportRun run = exportFirst(recorder, chooser, image.outputFolder());
  ASSERT_EQ(run.opened, 0);
  ASSERT_TRUE(run.job->isFinished());
  EXPECT_TRUE(contains(
      run.messages, "Warnung: 55 Sektoren des Hojin 2 (von 3) nicht lesbar, mit Nullen gefüllt."));
  EXPECT_TRUE(contains(
      run.messages, "Warnung: 65 Sektoren des Hojin 3 (von 3) nicht lesbar, mit Nullen gefüllt."));
  EXPECT_EQ(run.job->getDamagedHojins(), 2);
  EXPECT_EQ(run.job->getUnreadableSectors(), 120);

  std::ifstream source(image.imagePath(), std::ios::binary);
  source.seekg(kDataAreaStartF72 * 512);
  std::vector<uint8_t> data(size_t(cut - kDataAreaStartF72 * 512));
  source.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
  data.resize(3 * 33280, 0);
  const std::vector<uint8_t> written = readFileBytes(image.outputFolder() + "/00 Aufnahme 0.hav");
  ASSERT_EQ(written.size(), 1624u + 3 * 33280);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), written.begin() + 1624));
}

}  // namespace
}  // namespace korvelo::test
