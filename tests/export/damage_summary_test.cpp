// SPDX-License-Identifier: GPL-3.0-or-later
// A recording with sectors that stayed unreadable: zeros only where the sectors failed,
// every other byte as on the disk, and one closing line that says how much is damaged,
// whether the sectors failed on the drive or a rescue mapfile marks them as not rescued.
#include <gtest/gtest.h>

#include "disk/text.h"
#include "support/file_util.h"
#include "support/reliability_fixture.h"
#include "support/scripted_chooser.h"

namespace korvelo {
namespace {

using test::BadSectorsVia;
using test::RecorderImage;

class DamageSummary : public ::testing::TestWithParam<BadSectorsVia> {
 protected:
  // Two sectors in HOJIN 3 and one in HOJIN 17 of entry 0, none of them an A-sector.
  std::set<int64_t> badSectors() const {
    const sample::DiskDescription disk = test::twoRecordingDisk();
    const int64_t third = sample::hojinSector(disk, disk.recordings[0], 3);
    const int64_t seventeenth = sample::hojinSector(disk, disk.recordings[0], 17);
    return {third + 5, third + 64, seventeenth + 30};
  }
};

TEST_P(DamageSummary, TheDamagedRecordingEndsWithItsSummaryAndTheOtherIsUntouched) {
  RecorderImage image(test::twoRecordingDisk(), badSectors(), GetParam());
  const std::string damaged = image.folder() + "/damaged.hav",
                    clean = image.folder() + "/clean.hav";
  JobQueue queue;
  queue.push_back(image.preparedJob(0, damaged));
  queue.push_back(image.preparedJob(1, clean));
  test::QuietView view;
  test::RecordingLog log;
  SaveDriver driver(queue, view, log, [] { return SaveOptions{0, true, false}; });
  std::vector<int> codes;
  std::vector<std::vector<DamagedArea>> areas;
  driver.setJobRetiredHook([&](const HavExportJob& job) {
    codes.push_back(job.getErrorCode());
    areas.push_back(job.getDamage().areas());
  });
  driver.startSaving();
  test::driveToEnd(driver);

  EXPECT_EQ(test::readFileBytes(damaged), image.expectedHav(image.recording(0), badSectors()));
  EXPECT_EQ(test::readFileBytes(clean), image.expectedHav(image.recording(1)));
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
  // Where the zeros lie on the disk and in the file: HOJIN k's data begins at 1624 + (k - 1) *
  // 33280.
  const std::set<int64_t> badSet = badSectors();
  const std::vector<int64_t> bad(badSet.begin(), badSet.end());
  const std::vector<DamagedArea> expectedAreas = {
      {bad[0], 1, 1624 + 2 * 33280 + 5 * 512, DamageState::Unreadable},
      {bad[1], 1, 1624 + 2 * 33280 + 64 * 512, DamageState::Unreadable},
      {bad[2], 1, 1624 + 16 * 33280 + 30 * 512, DamageState::Unreadable}};
  EXPECT_EQ(areas, (std::vector<std::vector<DamagedArea>>{expectedAreas, {}}));
  const std::string summary =
      "Beschädigt: 2 Hojins mit zusammen 3 nicht lesbaren Sektoren (mit Nullen gefüllt).";
  ASSERT_EQ(log.count(summary), 1u);
  const size_t at = log.find(summary);
  const size_t secondJob = log.find("Schreibe in \"" + clean + "\"");
  EXPECT_LT(at, secondJob);  // at the end of its own recording, before the next begins
  EXPECT_LT(log.find("Speichern abgeschlossen."), at);
  EXPECT_EQ(log.find("Beschädigt:", secondJob), log.lines.size());
  EXPECT_NE(
      log.find("\r\nWarnung: 2 Sektoren des Hojin 3 (von 20) nicht lesbar, mit Nullen gefüllt."),
      log.lines.size());
}

TEST_P(DamageSummary, TheSummaryIsLoggedEvenWhenCopyMessagesAreSuppressed) {
  RecorderImage image(test::twoRecordingDisk(), badSectors(), GetParam());
  JobQueue queue;
  queue.push_back(image.preparedJob(0, image.folder() + "/damaged.hav"));
  test::QuietView view;
  view.suppressChecked = true;
  test::RecordingLog log;
  SaveDriver driver(queue, view, log, [] { return SaveOptions{0, true, false}; });
  driver.startSaving();
  test::driveToEnd(driver);
  EXPECT_EQ(log.find("Speichern abgeschlossen."), log.lines.size());
  EXPECT_EQ(
      log.count(
          "Beschädigt: 2 Hojins mit zusammen 3 nicht lesbaren Sektoren (mit Nullen gefüllt)."),
      1u);
}

// A disk whose every read takes 12.5 s, HOJINs 5 ... 14 of entry 0 dead: HOJIN 5 costs three
// failing reads, the probe of 7 a fourth, the probe of 10 a fifth: 62.5 s of failing reads
// without one whole HOJIN use up the budget, and the copy stops as on a drive that is gone.
// Every read was slow (HOJINs 1 ... 4, three reads of 5, the probes of 7 and 10, after each of
// these three the check that the drive still answers, and the file FAT), and the closing lines
// say so.
TEST(FailureBudget, ReadsThatFailForAMinuteStopTheExport) {
  const sample::DiskDescription disk = test::twoRecordingDisk();
  std::set<int64_t> dead;
  for (int64_t s = 0; s < 10 * 65; ++s)
    dead.insert(sample::hojinSector(disk, disk.recordings[0], 5) + s);
  RecorderImage image(disk, dead, BadSectorsVia::CostlyFailingReads);
  int64_t now = 0;
  image.disk().getDrive().setClock([&now] { return now += 12500; });
  JobQueue queue;
  queue.push_back(image.preparedJob(0, image.folder() + "/dead.hav"));
  test::QuietView view;
  test::RecordingLog log;
  SaveDriver driver(queue, view, log, [] { return SaveOptions{0, true, false}; });
  int whole = -1;
  driver.setJobRetiredHook([&](const HavExportJob& job) {
    EXPECT_TRUE(job.isDriveGone());
    whole = job.getWholeHojinsWritten();
  });
  driver.startSaving();
  test::driveToEnd(driver);
  EXPECT_EQ(whole, 9);
  auto logged = [&log](const std::string& text) {
    return std::any_of(log.lines.begin(), log.lines.end(),
                       [&](const std::string& entry) { return entry.find(text) != entry.npos; });
  };
  EXPECT_TRUE(
      logged("\r\nDas Laufwerk antwortet nicht mehr: Hojin 10 (von 20) ließ sich nicht "
             "lesen, der Export ist angehalten.\r\n  Seit dem letzten ganz gelesenen Hojin "
             "sind 5 Lesezugriffe fehlgeschlagen (zusammen 62,5 s); mehr wird der "
             "Festplatte nicht zugemutet."));
  EXPECT_EQ(log.count("Warnung: 13 langsame Lesezugriffe (länger als 2,0 s, der längste 12,5 s). "
                      "Die Festplatte lässt nach: am besten jetzt mit GNU ddrescue ein Abbild "
                      "ziehen."),
            1u);
}

INSTANTIATE_TEST_SUITE_P(Sources, DamageSummary,
                         ::testing::Values(BadSectorsVia::FailingReads, BadSectorsVia::Mapfile),
                         [](const auto& info) {
                           return info.param == BadSectorsVia::Mapfile ? "Mapfile" : "FailingReads";
                         });

TEST(UntriedArea, ASectorTheMapfileLeavesUntriedReadsAsBadToo) {
  // ddrescue leaves areas it never reached as '?': they must not be taken for data.
  sample::DiskDescription description = test::twoRecordingDisk();
  RecorderImage image(description);  // the plain image, only to learn where HOJIN 5 lies
  const int64_t fifth = sample::hojinSector(description, description.recordings[1], 5);
  const std::string map = image.folder() + "/untried.map";
  const std::string text =
      "0 ? 1\n0 " + std::to_string((fifth + 7) * 512) + " +\n" + std::to_string((fifth + 7) * 512) +
      " 512 ?\n" + std::to_string((fifth + 8) * 512) + " " +
      std::to_string(int64_t(description.imageBytes) - (fifth + 8) * 512) + " +\n";
  test::writeFileBytes(map, std::vector<uint8_t>(text.begin(), text.end()));
  DriveSpec drive = test::imageDrive(image.imagePath());
  drive.mapfile = map;
  test::ScopedTestDrives drives({drive});
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(description.fileFatSize);
  ASSERT_TRUE(disk.readDirectory(false));
  ASSERT_EQ(disk.getEntries().size(), 2u);
  HavExportJob job(disk);
  const std::string path = image.folder() + "/untried.hav";
  auto chooser = test::ScriptedChooser::choosing(path);
  std::string folder = image.folder();
  ASSERT_EQ(job.prepareSave(*disk.getEntries()[1], chooser, nullptr, folder, 4, false), 0);
  ASSERT_EQ(job.openFile(), 0);
  while (!job.isFinished()) job.copyStep(true);
  EXPECT_EQ(job.getDamagedHojins(), 1);
  EXPECT_EQ(job.getUnreadableSectors(), 1);
  EXPECT_EQ(test::readFileBytes(path), image.expectedHav(description.recordings[1], {fifth + 7}));
}

}  // namespace
}  // namespace korvelo
