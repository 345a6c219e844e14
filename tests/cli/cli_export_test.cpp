// SPDX-License-Identifier: GPL-3.0-or-later
// export, run as the built program: files byte for byte, skipping and overwriting,
// exit codes, the log, progress and the untouched source.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <regex>

#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/file_util.h"
#include "support/sample_recordings.h"

namespace korvelo::test {
namespace {

// Position of `line` among `lines` at or after `from`; lines.size() when absent.
size_t findLine(const std::vector<std::string>& lines, const std::string& line, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i] == line) return i;
  return lines.size();
}

size_t findLineStarting(const std::vector<std::string>& lines, const std::string& prefix,
                        size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].starts_with(prefix)) return i;
  return lines.size();
}

class ExportTest : public DemoDiskTest {
 protected:
  std::string target(int entryNumber, bool withNumber = true) const {
    return output_.file(expectedFileName(recording(entryNumber), withNumber));
  }
  void expectExported(int entryNumber, bool withNumber = true) const {
    SCOPED_TRACE(entryNumber);
    EXPECT_EQ(readFileBytes(target(entryNumber, withNumber)),
              expectedHavFile(image(), disk(), recording(entryNumber)));
  }
};

TEST_F(ExportTest, AllRecordingsAreWrittenByteForByteAndTheSourceStaysAsItWas) {
  const std::string before = fileFingerprint(image());
  const CliRun run = runCli({"--drive", image(), "export", "--all", "-o", output_.path()});
  // Every file is the disk's bytes; one with a wrong HOJIN head is not the recording's.
  std::vector<std::string> complete;
  for (const sample::Recording& recording : disk().recordings) {
    expectExported(recording.entryNumber);
    if (!hasWrongHead(recording)) complete.push_back(target(recording.entryNumber));
  }
  EXPECT_EQ(run.status, complete.size() == disk().recordings.size() ? 0 : 1) << run.err;
  EXPECT_EQ(run.outLines(), complete);
  EXPECT_EQ(fileFingerprint(image()), before);
}

TEST_F(ExportTest, EachRecordingIsLoggedAsTheWindowWouldLogIt) {
  const CliRun run = runCli({"--drive", image(), "export", "1", "2", "-o", output_.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = run.errLines();
  size_t at = 0;
  for (int entryNumber : {1, 2}) {
    SCOPED_TRACE(entryNumber);
    const sample::Recording& rec = recording(entryNumber);
    const uint64_t fileSize = 1624 + uint64_t{rec.lengthSectors} * 512;
    at = findLine(lines,
                  "Eintrag " + std::to_string(entryNumber) + " \"" + utf8FromLatin1(rec.title) +
                      "\" ausgewählt.",
                  at);
    at = findLine(lines, "Größe der Zieldatei " + grouped(fileSize) + " Bytes.", at);
    at = findLine(lines, "Schreibe in \"" + target(entryNumber) + "\"", at);
    at = findLine(lines, "Speichern abgeschlossen.", at);
    at = findLineStarting(lines,
                          std::string("Lesen der ") + (isFragmented(disk(), rec) ? "" : "un") +
                              "fragmentierten Aufzeichnung abgeschlossen. Leserate: ca. ",
                          at);
    ASSERT_LT(at, lines.size()) << run.err;
  }
}

// -q leaves warnings, skips and the closing summary on stderr; stdout stays as it is.
TEST_F(ExportTest, QuietLeavesOnlySkipsAndTheSummaryOnStderr) {
  const std::vector<std::string> arguments{"-q", "--drive", image(), "export",
                                           "1",  "2",       "-o",    output_.path()};
  const CliRun run = runCli(arguments);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.outLines(), (std::vector<std::string>{target(1), target(2)}));
  uint64_t bytes = 0;
  for (int entryNumber : {1, 2})
    bytes += 1624 + uint64_t{recording(entryNumber).lengthSectors} * 512;
  const uint64_t tenths = (bytes + 50000) / 100000;  // of a megabyte (10^6 bytes)
  const std::string size = std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " MB";
  EXPECT_TRUE(std::regex_match(
      run.err, std::regex("2 Aufnahmen gespeichert, 0 beschädigt, 0 übersprungen, " + size +
                          " in [0-9]+:[0-5][0-9]\n")))
      << run.err;

  const CliRun again = runCli(arguments);
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out, "");
  auto lines = again.errLines();
  ASSERT_EQ(lines.size(), 5u) << again.err;
  EXPECT_TRUE(
      lines.back().starts_with("0 Aufnahmen gespeichert, 0 beschädigt, 2 übersprungen, "
                               "0 Bytes in "))
      << lines.back();
  lines.pop_back();
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Zieldatei \"" + target(1) +
                           "\" existiert bereits; überspringe (mit --force überschreiben).",
                       "Eintrag 1 \"" + utf8FromLatin1(recording(1).title) + "\" übersprungen.",
                       "Zieldatei \"" + target(2) +
                           "\" existiert bereits; überspringe (mit --force überschreiben).",
                       "Eintrag 2 \"" + utf8FromLatin1(recording(2).title) + "\" übersprungen."}));
}

TEST_F(ExportTest, TheDemoDiskHoldsBothKindsOfRecording) {
  // The log test above relies on entry 1 running on and entry 2 jumping.
  EXPECT_FALSE(isFragmented(disk(), recording(1)));
  EXPECT_TRUE(isFragmented(disk(), recording(2)));
}

TEST_F(ExportTest, AnExistingTargetIsSkippedAndTheOthersGoOn) {
  const std::vector<uint8_t> old = {'a', 'l', 't'};
  writeFileBytes(target(1), old);
  const CliRun run = runCli({"--drive", image(), "export", "0", "1", "2", "-o", output_.path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(readFileBytes(target(1)), old);
  expectExported(0);
  expectExported(2);
  EXPECT_EQ(run.outLines(), (std::vector<std::string>{target(0), target(2)}));
  const auto lines = run.errLines();
  EXPECT_LT(findLine(lines, "Zieldatei \"" + target(1) +
                                "\" existiert bereits; überspringe (mit --force überschreiben)."),
            lines.size());
}

TEST_F(ExportTest, ForceReplacesAnExistingTarget) {
  writeFileBytes(target(1), std::vector<uint8_t>(100000, 0x55));
  const CliRun run = runCli({"--drive", image(), "export", "1", "--force", "-o", output_.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  expectExported(1);
}

TEST_F(ExportTest, AFolderInPlaceOfTheTargetIsNeverReplaced) {
  std::filesystem::create_directory(target(1));
  const CliRun run = runCli({"--drive", image(), "export", "1", "--force", "-o", output_.path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(std::filesystem::is_directory(target(1)));
  EXPECT_EQ(run.out, "");
}

TEST_F(ExportTest, FileNamesGoWithoutEntryNumberOnRequest) {
  const CliRun run =
      runCli({"--drive", image(), "export", "3", "--no-entry-number", "-o", output_.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  expectExported(3, false);
  EXPECT_FALSE(std::filesystem::exists(target(3, true)));
}

TEST_F(ExportTest, AnUnknownEntryNumberIsAUsageErrorAndNothingIsWritten) {
  const CliRun run = runCli({"--drive", image(), "export", "1", "9", "-o", output_.path()});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(std::filesystem::is_empty(output_.path()));
}

TEST_F(ExportTest, TheOutputFolderIsMadeWhenMissing) {
  const std::string folder = output_.file("neu/tiefer");
  const CliRun run = runCli({"--drive", image(), "export", "1", "-o", folder});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readFileBytes(folder + "/" + expectedFileName(recording(1))),
            expectedHavFile(image(), disk(), recording(1)));
}

TEST_F(ExportTest, QuietStillShowsAFolderThatCannotBeMade) {
  const CliRun run = runCli({"-q", "--drive", image(), "export", "1", "-o", "/proc/nope"});
  EXPECT_EQ(run.status, 1);
  const auto lines = run.errLines();
  ASSERT_EQ(lines.size(), 1u) << run.err;
  EXPECT_EQ(lines[0], "Zielordner \"/proc/nope\": Datei oder Ordner gibt es nicht.");
}

TEST_F(ExportTest, TheDefaultTargetIsTheWorkingDirectory) {
  CliRunOptions inOutput;
  inOutput.workingDirectory = output_.path();
  const CliRun run = runCli({"--drive", image(), "export", "1"}, inOutput);
  EXPECT_EQ(run.status, 0) << run.err;
  expectExported(1);
}

TEST_F(ExportTest, RecordDateGivesTheFileTheRecordingsStart) {
  const CliRun run =
      runCli({"--drive", image(), "export", "0", "--record-date", "-o", output_.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  const ExpectedStart start = expectedStart(recording(0));
  std::tm local{};
  local.tm_year = start.year - 1900;
  local.tm_mon = start.month - 1;
  local.tm_mday = start.day;
  local.tm_hour = start.hour;
  local.tm_min = start.minute;
  local.tm_isdst = -1;
  struct stat status {};
  ASSERT_EQ(::stat(target(0).c_str(), &status), 0);
  EXPECT_EQ(status.st_mtime, std::mktime(&local));
}

TEST_F(ExportTest, NoProgressLineWhenStderrIsNoTerminal) {
  const CliRun run =
      runCli({"--drive", image(), "export", "0", "--pause", "5", "-o", output_.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos);
  EXPECT_EQ(run.err.find("\x1b["), std::string::npos);
  EXPECT_EQ(run.err.find("Aufnahme 1 von"), std::string::npos);
}

TEST_F(ExportTest, ProgressLineOnATerminalIsClearedBeforeLogLines) {
  CliRunOptions onTerminal;
  onTerminal.stderrOnTerminal = true;
  const CliRun run =
      runCli({"--drive", image(), "export", "0", "--pause", "5", "-o", output_.path()}, onTerminal);
  ASSERT_EQ(run.status, 0) << run.err;
  const size_t progress = run.err.find("Aufnahme 1 von 1");
  ASSERT_NE(progress, std::string::npos) << run.err;
  EXPECT_EQ(run.err.substr(progress - 4, 4), "\r\x1b[K");
  // The closing log line comes after the progress line was wiped.
  const size_t done = run.err.find("Speichern abgeschlossen.");
  ASSERT_NE(done, std::string::npos);
  const size_t lastDrawn = run.err.rfind("Aufnahme 1 von 1", done);
  ASSERT_NE(lastDrawn, std::string::npos);
  EXPECT_NE(run.err.substr(lastDrawn, done - lastDrawn).find("\r\x1b[K"), std::string::npos);
  expectExported(0);
}

// Every progress line drawn in `err`: the text after each erase up to the next CR or LF.
std::vector<std::string> progressLines(const std::string& err) {
  std::vector<std::string> lines;
  for (size_t at = err.find("\r\x1b[K"); at != std::string::npos;
       at = err.find("\r\x1b[K", at + 1)) {
    const size_t start = at + 4;
    const std::string text = err.substr(start, err.find_first_of("\r\n", start) - start);
    if (text.starts_with("Aufnahme ")) lines.push_back(text);
  }
  return lines;
}

TEST_F(ExportTest, ProgressLineDropsWholeFieldsToFitTheTerminal) {
  // SI units with a decimal comma; the rate and the time left come and go with the
  // clock, the overall bytes and the title are always there when there is room.
  const std::regex field(
      "Aufnahme [12] von 2|\\d{1,3} %|\\d+,\\d (kB|MB|GB)/s|\\d+ Bytes/s|noch \\d+:\\d\\d|"
      "gesamt (\\d+,\\d [kMGT]B|\\d+ Bytes) von \\d+,\\d [kMGT]B");
  for (const int columns : {0, 120, 50, 24}) {
    SCOPED_TRACE(columns);
    CliRunOptions onTerminal;
    onTerminal.stderrOnTerminal = true;
    onTerminal.terminalColumns = columns;
    const CliRun run = runCli(
        {"--drive", image(), "export", "0", "1", "--force", "--pause", "5", "-o", output_.path()},
        onTerminal);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = progressLines(run.err);
    ASSERT_FALSE(lines.empty()) << run.err;
    const int width = (columns == 0 ? 80 : columns) - 1;
    bool sawOverall = false;
    for (const std::string& line : lines) {
      EXPECT_LE(static_cast<int>(line.size()), width) << line;
      std::vector<std::string> fields;
      for (size_t at = 0; at != std::string::npos;) {
        const size_t gap = line.find("  ", at);
        fields.push_back(line.substr(at, gap == std::string::npos ? gap : gap - at));
        at = gap == std::string::npos ? gap : gap + 2;
      }
      // The title, last, only where the line has room for it.
      const size_t numbers = fields.size() - (width >= 79 && fields.size() > 3 ? 1 : 0);
      for (size_t i = 0; i < numbers; ++i) EXPECT_TRUE(std::regex_match(fields[i], field)) << line;
      sawOverall = sawOverall || line.find("  gesamt ") != std::string::npos;
    }
    EXPECT_EQ(sawOverall, columns != 24) << run.err;
  }
}

TEST(SourceAsTargetTest, TheSourceImageIsNeverOverwrittenEvenWithForce) {
  // The image lies in the output folder under the very name a recording gets.
  TempDir output;
  const sample::DiskDescription disk = sample::demoDisk();
  const std::string image = output.file(expectedFileName(disk.recordings[1]));
  sample::buildDisk(disk, image);
  const std::string before = fileFingerprint(image);
  const CliRun run = runCli({"--drive", image, "export", "1", "--force", "-o", output.path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(fileFingerprint(image), before);
  const auto lines = run.errLines();
  EXPECT_LT(findLine(lines, "\"" + image + "\" ist die Festplatte, von der gelesen wird."),
            lines.size())
      << run.err;
}

class NumberedDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Entry numbers that are not list positions, and one recording whose file FAT is
    // missing, so that its HOJINs cannot be found.
    disk_ = sample::demoDisk();
    disk_.recordings.resize(3);
    disk_.recordings[0].entryNumber = 12;
    disk_.recordings[1].entryNumber = 3;
    disk_.recordings[2].entryNumber = 7;
    disk_.recordings[2].writeFileFat = false;
    sample::buildDisk(disk_, image_);
  }
  TempDir folder_;
  TempDir output_;
  std::string image_ = folder_.file("numbered.img");
  sample::DiskDescription disk_;
};

TEST_F(NumberedDiskTest, EntriesAreChosenByTheirNumberNotTheirPlace) {
  const CliRun run = runCli({"--drive", image_, "export", "3", "-o", output_.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string path = output_.file(expectedFileName(disk_.recordings[1]));
  EXPECT_EQ(run.outLines(), std::vector<std::string>{path});
  EXPECT_EQ(readFileBytes(path), expectedHavFile(image_, disk_, disk_.recordings[1]));
  int havFiles = 0;
  for (const auto& file : std::filesystem::directory_iterator(output_.path()))
    if (file.path().extension() == ".hav") ++havFiles;
  EXPECT_EQ(havFiles, 1);
}

TEST_F(NumberedDiskTest, ARecordingThatCannotBeCopiedFailsTheRunButNotTheOthers) {
  const CliRun run = runCli({"--drive", image_, "export", "--all", "-o", output_.path()});
  EXPECT_EQ(run.status, 1);
  for (int i : {0, 1})
    EXPECT_EQ(readFileBytes(output_.file(expectedFileName(disk_.recordings[i]))),
              expectedHavFile(image_, disk_, disk_.recordings[i]));
  const std::string failed = output_.file(expectedFileName(disk_.recordings[2]));
  EXPECT_EQ(run.out.find(failed), std::string::npos);
  const auto lines = run.errLines();
  EXPECT_LT(findLineStarting(lines, "Eintrag 7 \"" + utf8FromLatin1(disk_.recordings[2].title) +
                                        "\" wurde nicht vollständig gespeichert."),
            lines.size())
      << run.err;
}

}  // namespace
}  // namespace korvelo::test
