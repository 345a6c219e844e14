// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-cli rescue end to end: the built program on small sample images, its stdout,
// exit codes and the bytes of the files it writes.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "support/cli_runner.h"
#include "support/file_util.h"
#include "support/rescue_fixture.h"

namespace korvelo::test {
namespace {

class CliRescue : public ::testing::Test {
 protected:
  void SetUp() override {
    cli_ = std::string(KORVELO_BIN_DIR) + "/korvelo-cli";
    if (fileSize(cli_) < 0) GTEST_SKIP() << "korvelo-cli is not built";
    // Entry 1 deleted (its slot emptied, its file FAT kept); entry 2's file FAT wiped.
    sample::Recording third = rescueRecording(2, {4, 6}, 20);
    third.writeFileFat = false;
    description_ =
        smallDisk({rescueRecording(0, {0}, 10), rescueRecording(1, {2, 3}, 25), third}, 8);
    description_.rawSectors.push_back({6598704 + 32, std::vector<uint8_t>{0xFF, 0xFF}});
    image_ = dir_.file("disk.img");
    sample::buildDisk(description_, image_);
  }

  // The arguments are split at blanks (no test passes one with a blank inside).
  CliRun run(const std::string& arguments) {
    std::vector<std::string> words = {"--drive", image_};
    std::istringstream in(arguments);
    for (std::string word; in >> word;) words.push_back(word);
    CliRunOptions options;
    options.environment = {"ASAN_OPTIONS=detect_leaks=0"};
    return runCli(words, options);
  }

  std::vector<uint8_t> dataOf(int index) const {
    return sample::readRecordingFromImage(image_, description_, description_.recordings[index]);
  }

  TempDir dir_;
  std::string cli_;
  std::string image_;
  sample::DiskDescription description_;
};

TEST_F(CliRescue, RegionScanListsTheDeletedRecording) {
  const CliRun result = run("rescue");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "1\tGerettet 1\tFAT-Bereich 2\t2 Blöcke\t25 HOJINs\t 832.000 Bytes\tsicher\n");
  EXPECT_NE(result.err.find("1 verlorene Aufnahme(n) in 1998 Dateizuordnungstabellen gefunden."),
            std::string::npos)
      << result.err;
}

TEST_F(CliRescue, HeadScanFindsEveryRecordingAsJson) {
  const CliRun result = run("rescue --scan heads --json");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("\"scan\": \"heads\""), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\"blocks\": [\n        4,\n        6\n      ]"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("\"title\": \"Gerettet 3\""), std::string::npos);
  const nlohmann::json found = nlohmann::json::parse(result.out).at("recordings");
  ASSERT_FALSE(found.empty());
  for (const nlohmann::json& recording : found) {
    const std::string name = recording.at("confidence"), id = recording.at("confidence_id");
    EXPECT_EQ(id, name == "sicher"           ? "certain"
                  : name == "wahrscheinlich" ? "probable"
                                             : "uncertain");
  }
  EXPECT_EQ(result.out.find("\"title\": \"Gerettet 4\""), std::string::npos);
}

TEST_F(CliRescue, ExportWritesRescuedFilesByteExact) {
  const std::string folder = dir_.file("out");
  const CliRun regions = run("rescue export 1 -o " + folder);
  EXPECT_EQ(regions.status, 0) << regions.err;
  EXPECT_EQ(regions.out, folder + "/01 Gerettet 1.hav\n");
  EXPECT_EQ(readFileBytes(folder + "/01 Gerettet 1.hav"), expectedRescuedHav(1, 25, dataOf(1)));

  const CliRun heads = run("rescue --scan heads export 3 --no-entry-number -o " + folder);
  EXPECT_EQ(heads.status, 0) << heads.err;
  EXPECT_EQ(readFileBytes(folder + "/Gerettet 3.hav"), expectedRescuedHav(3, 20, dataOf(2)));
}

TEST_F(CliRescue, UnknownIdOrMissingChoiceIsAUsageError) {
  EXPECT_EQ(run("rescue export 7 -o " + dir_.file("o")).status, 2);
  EXPECT_EQ(run("rescue export -o " + dir_.file("o")).status, 2);
  EXPECT_EQ(run("rescue --scan sideways").status, 2);
  EXPECT_EQ(fileSize(dir_.file("o") + "/07 Gerettet 7.hav"), -1);
}

TEST_F(CliRescue, ExistingTargetIsKeptWithoutForce) {
  const std::string folder = dir_.file("out");
  ASSERT_EQ(run("rescue export --all -o " + folder).status, 0);
  const std::vector<uint8_t> marker{'x'};
  writeFileBytes(folder + "/01 Gerettet 1.hav", marker);
  EXPECT_EQ(run("rescue export 1 -o " + folder).status, 1);
  EXPECT_EQ(readFileBytes(folder + "/01 Gerettet 1.hav"), marker);
  EXPECT_EQ(run("rescue export 1 --force -o " + folder).status, 0);
  EXPECT_EQ(fileSize(folder + "/01 Gerettet 1.hav"), 1624 + 25 * 33280);
}

}  // namespace
}  // namespace korvelo::test
