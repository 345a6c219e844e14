// SPDX-License-Identifier: GPL-3.0-or-later
// Targets that fail while a recording is being written: the folder removed under the
// job, a file system that fills up, a folder that cannot be written. Each time the
// system's reason is logged, the job ends with its code, no "Speichern abgeschlossen."
// is claimed for it, and the next recording is still written completely.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/file_util.h"
#include "support/reliability_fixture.h"

namespace korvelo {
namespace {

using test::RecorderImage;

struct Outcome {
  std::string path;
  int errorCode = 0;
  uint64_t bytesWritten = 0;
};

class TargetFailure : public ::testing::Test {
 protected:
  // Queues entry 0 for `first` and entry 1 for a target in a folder of its own, then
  // drives the export, calling `between` after every step.
  void exportBoth(const std::string& first, const std::function<void(int)>& between = {}) {
    secondPath = otherFolder.file("second.hav");
    queue.push_back(image.preparedJob(0, first));
    queue.push_back(image.preparedJob(1, secondPath));
    driver.setJobRetiredHook([this](const HavExportJob& job) {
      outcomes.push_back({job.getPath(), job.getErrorCode(), job.getBytesWritten()});
    });
    driver.startSaving();
    test::driveToEnd(driver, between);
  }

  // The first job ended with `code` and the second one was written completely after it.
  void expectFirstFailedAndSecondWritten(int code) {
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].errorCode, code);
    EXPECT_EQ(outcomes[1].errorCode, 0);
    EXPECT_EQ(test::readFileBytes(secondPath), image.expectedHav(image.recording(1)));
    // One "Speichern abgeschlossen.", and it belongs to the second recording.
    EXPECT_EQ(log.count("Speichern abgeschlossen."), 1u);
    EXPECT_GT(log.find("Speichern abgeschlossen."), log.find("Schreibe in \"" + secondPath + "\""));
  }

  RecorderImage image{test::twoRecordingDisk()};
  test::TempDir otherFolder;
  std::string secondPath;
  JobQueue queue;
  test::QuietView view;
  test::RecordingLog log;
  SaveDriver driver{queue, view, log, [] { return SaveOptions{0, true, false}; }};
  std::vector<Outcome> outcomes;
};

TEST_F(TargetFailure, AFolderRemovedDuringTheExportEndsThatJobWithItsReason) {
  const std::string folder = image.folder() + "/ziel";
  std::filesystem::create_directory(folder);
  const std::string first = folder + "/erste.hav";
  exportBoth(first, [&](int steps) {
    if (steps == 2) std::filesystem::remove_all(folder);
  });
  expectFirstFailedAndSecondWritten(HavExportJob::kIncomplete);
  const size_t problem = log.find(
      "Problem getting information about written file.\r\n"
      "  FileException: Datei oder Ordner gibt es nicht");
  EXPECT_LT(problem, log.find("Schreibe in \"" + secondPath + "\""))
      << ::testing::PrintToString(log.lines);
  EXPECT_FALSE(std::filesystem::exists(first));
}

TEST_F(TargetFailure, AFileSystemThatFillsUpMidRecordingEndsThatJobWithItsReason) {
  test::ScopedTmpfs small("size=1m");
  if (!small.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
  // 20 HOJINs are 650 KiB: they fit when the job starts, but not once another program
  // has taken 512 KiB of the file system.
  const std::string first = small.path() + "/erste.hav";
  exportBoth(first, [&](int steps) {
    if (steps == 1)
      test::writeFileBytes(small.path() + "/anderes", std::vector<uint8_t>(512 * 1024, 7));
  });
  expectFirstFailedAndSecondWritten(HavExportJob::kDataNotWritten);
  bool reasonLogged = false;
  for (const std::string& line : log.lines)
    if (line.find("Fehler beim Schreiben von HOJIN ") != std::string::npos &&
        line.find("  FileException: Kein Platz mehr auf dem Gerät") != std::string::npos)
      reasonLogged = true;
  EXPECT_TRUE(reasonLogged) << ::testing::PrintToString(log.lines);
  // After the reason, what to do: one line, kept in the log.
  EXPECT_NE(log.find("Grund: Die Zieldatei ließ sich nicht weiter schreiben, meist weil das Ziel "
                     "voll oder nicht mehr erreichbar ist. Die schon geschriebenen Hojins bleiben "
                     "in der Datei; bitte Platz schaffen oder ein anderes Ziel wählen und die "
                     "Aufnahme noch einmal speichern."),
            log.lines.size())
      << ::testing::PrintToString(log.lines);
  // What was written stays, counted as written, and it is plainly shorter than a whole file.
  EXPECT_EQ(static_cast<int64_t>(outcomes[0].bytesWritten), test::fileSize(first));
  EXPECT_LT(test::fileSize(first),
            static_cast<int64_t>(image.expectedHav(image.recording(0)).size()));
}

TEST_F(TargetFailure, AFolderThatCannotBeWrittenRefusesTheFileAndTheOthersGoOn) {
  // Root may write everywhere on a normal file system; a read-only mount refuses even root.
  test::ScopedTmpfs readOnly("size=1m", true);
  test::TempDir plain;
  std::string folder = readOnly.path();
  std::string reason = "Nur lesbares Dateisystem";
  if (!readOnly.mounted()) {
    if (::geteuid() == 0) GTEST_SKIP() << "root without a read-only mount cannot be refused";
    ::chmod(plain.path().c_str(), 0555);
    folder = plain.path();
    reason = "Keine Berechtigung";
  }
  const std::string first = folder + "/erste.hav";
  exportBoth(first);
  ::chmod(plain.path().c_str(), 0755);
  expectFirstFailedAndSecondWritten(HavExportJob::kNotCreated);
  EXPECT_NE(log.find("Fehler 2 ist beim Speichern aufgetreten."), log.lines.size());
  EXPECT_NE(
      log.find("\r\nFehler beim Öffnen der Datei \"" + first + "\"\r\n  FileException: " + reason),
      log.lines.size())
      << ::testing::PrintToString(log.lines);
  EXPECT_FALSE(std::filesystem::exists(first));
}

}  // namespace
}  // namespace korvelo
