// SPDX-License-Identifier: GPL-3.0-or-later
// The workflow for a failing disk, run for real: the domain from the disk, an imaging
// run restricted to it, and the recordings saved from the image byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "disk/mapfile_source.h"
#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/file_util.h"

namespace korvelo::test {
namespace {

constexpr const char* kDdrescue = "/usr/bin/ddrescue";

// Runs a program with its arguments; its exit status, or -1.
int runProgram(const std::vector<std::string>& arguments) {
  CliRunOptions options;
  options.program = arguments.at(0);
  return runCli({arguments.begin() + 1, arguments.end()}, options).status;
}

FinishedAreas finishedAreasOf(const std::string& mapfile) {
  std::ifstream text(mapfile);
  std::optional<FinishedAreas> areas = parseMapfile(text);
  if (!areas) throw std::runtime_error("not a mapfile: " + mapfile);
  return *areas;
}

// The byte ranges of every sector of a recording: its HOJINs and the remainder.
FinishedAreas recordingBytes(const sample::DiskDescription& disk,
                             const sample::Recording& recording) {
  FinishedAreas areas;
  const auto whole = static_cast<int>(sample::hojinCount(recording));
  const int rest = recording.lengthSectors % sample::kSectorsPerHojin;
  for (int k = 1; k <= whole + (rest > 0 ? 1 : 0); ++k) {
    const int64_t begin = sample::hojinSector(disk, recording, k) * 512;
    areas[begin] = begin + int64_t{k <= whole ? sample::kSectorsPerHojin : rest} * 512;
  }
  return areas;
}

bool covers(const FinishedAreas& areas, int64_t begin, int64_t end) {
  auto area = areas.upper_bound(begin);
  if (area == areas.begin()) return false;
  --area;
  return area->first <= begin && end <= area->second;
}

bool touches(const FinishedAreas& areas, int64_t begin, int64_t end) {
  for (const auto& [first, last] : areas)
    if (first < end && begin < last) return true;
  return false;
}

using DomainWorkflowTest = DemoDiskTest;

TEST_F(DomainWorkflowTest, DomainMapfileMarksTheChosenRecordingsAndCoversTheWholeDisk) {
  const std::string map = output_.file("domain.map");
  const CliRun run = runCli({"--drive", image(), "domain", "1", "2", "-o", map});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, map + "\n");
  const FinishedAreas finished = finishedAreasOf(map);
  for (const sample::Recording& recording : disk().recordings) {
    const bool chosen = recording.entryNumber == 1 || recording.entryNumber == 2;
    for (const auto& [begin, end] : recordingBytes(disk(), recording)) {
      SCOPED_TRACE(testing::Message() << "entry " << recording.entryNumber << " at " << begin);
      // The heads of the first HOJINs of all five are read by the test of the File-FAT-Size.
      const bool firstHojin = begin == sample::hojinSector(disk(), recording, 1) * 512;
      if (chosen) {
        EXPECT_TRUE(covers(finished, begin, end));
      } else {
        const int64_t head = firstHojin ? 512 : 0;
        EXPECT_EQ(covers(finished, begin, begin + 512), firstHojin);
        EXPECT_FALSE(touches(finished, begin + head, end));
      }
    }
  }
  // The status line, then blocks from 0 to the disk's last byte.
  std::ifstream text(map);
  std::string line, last;
  std::vector<std::string> lines;
  while (std::getline(text, line)) lines.push_back(line);
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "0x00000000     +     1"), lines.end());
  unsigned long long pos = 0, size = 0;
  char status = 0;
  ASSERT_EQ(std::sscanf(lines.back().c_str(), "0x%llx  0x%llx  %c", &pos, &size, &status), 3);
  EXPECT_EQ(pos + size, disk().imageBytes);
}

TEST_F(DomainWorkflowTest, DomainRefusesToOverwriteAnExistingMapfileWithoutForce) {
  const std::string map = output_.file("domain.map");
  writeFileBytes(map, std::vector<uint8_t>{'x'});
  const CliRun refused = runCli({"--drive", image(), "domain", "--all", "-o", map});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("\"" + map + "\" gibt es schon; zum Überschreiben --force angeben."),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(readFileBytes(map), std::vector<uint8_t>{'x'});
  const CliRun forced = runCli({"--drive", image(), "domain", "--all", "-o", map, "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_GT(fileSize(map), 100);
}

TEST_F(DomainWorkflowTest, DomainNeverWritesOverTheDiskItReads) {
  const std::string before = fileFingerprint(image());
  const CliRun run = runCli({"--drive", image(), "domain", "--all", "-o", image(), "--force"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(fileFingerprint(image()), before);
}

TEST_F(DomainWorkflowTest, ImagingOnlyTheDomainIsEnoughToSaveTheChosenRecordingsByteForByte) {
  if (::access(kDdrescue, X_OK) != 0) GTEST_SKIP() << "ddrescue is not installed";
  const std::string domain = output_.file("domain.map");
  const std::string copy = output_.file("copy.img");
  const std::string copyMap = output_.file("copy.map");
  const CliRun made = runCli({"--drive", image(), "domain", "0", "2", "-o", domain});
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(runProgram({kDdrescue, "-q", "-m", domain, image(), copy, copyMap}), 0);
  // The image holds only the domain: far less than the disk.
  struct stat copied {};
  ASSERT_EQ(::stat(copy.c_str(), &copied), 0);
  EXPECT_LT(int64_t{copied.st_blocks} * 512, int64_t{64} << 20);
  EXPECT_EQ(finishedAreasOf(copyMap), finishedAreasOf(domain));

  const std::string folder = output_.file("filme");
  const CliRun saved =
      runCli({"--drive", copy, "--mapfile", copyMap, "export", "0", "2", "-o", folder});
  ASSERT_EQ(saved.status, 0) << saved.err;
  for (int entryNumber : {0, 2}) {
    SCOPED_TRACE(entryNumber);
    EXPECT_EQ(readFileBytes(folder + "/" + expectedFileName(recording(entryNumber))),
              expectedHavFile(image(), disk(), recording(entryNumber)));
  }
  // A recording outside the domain is not there to save: its sectors were never read.
  const CliRun missing =
      runCli({"--drive", copy, "--mapfile", copyMap, "export", "1", "-o", folder});
  EXPECT_EQ(missing.status, 1);
}

}  // namespace
}  // namespace korvelo::test
