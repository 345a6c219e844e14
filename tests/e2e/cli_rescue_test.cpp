// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-cli rescue end to end: the built program on small sample images, its stdout,
// exit codes and the bytes of the files it writes.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
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
  EXPECT_NE(result.err.find("1 verlorene Aufnahme in 1998 Dateizuordnungstabellen gefunden."),
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
    // The head scan reads no file-FAT region: there is none to name.
    EXPECT_TRUE(recording.at("region").is_null()) << recording;
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

// Rescue disks whose recordings interleave (their file FATs gone), scanned by the heads
// through the program: a chain is "sicher" only when it is a recording's own, and every
// chain that is not certain of its blocks exports with exit 1 and `complete: false`.
struct InterleavedCase {
  const char* name;
  sample::DiskDescription disk;
  std::set<int> certainSlots;  // the recordings that the heads leave no doubt about
  std::string scanLimit;       // "" or the --scan-limit value
};

sample::Recording lostFat(int slot, std::vector<uint32_t> blocks, int hojins) {
  sample::Recording recording = rescueRecording(slot, std::move(blocks), hojins);
  recording.writeFileFat = false;
  return recording;
}

std::vector<InterleavedCase> interleavedCases() {
  std::vector<InterleavedCase> cases;
  // A 0, 2, 3 and B 1, 4: both starts lie before both blocks with HOJIN 17.
  cases.push_back({"two at a branch",
                   smallDisk({lostFat(0, {0, 2, 3}, 40), lostFat(1, {1, 4}, 20)}, 6),
                   {},
                   ""});
  // Three recordings in turn, every block with HOJIN 17 and 33 after all three starts.
  cases.push_back(
      {"three",
       smallDisk({lostFat(0, {0, 3, 6}, 40), lostFat(1, {1, 4, 7}, 40), lostFat(2, {2, 5, 8}, 40)},
                 10),
       {},
       ""});
  // B (3, 4) inside A (0, 2, 5): B starts after A's second block, one way fits.
  cases.push_back({"settled by the order",
                   smallDisk({lostFat(0, {0, 2, 5}, 40), lostFat(1, {3, 4}, 20)}, 7),
                   {0, 1},
                   ""});
  // The demo disk: the film (8, 20, 35) and the documentary (9 ... 12) both start before
  // both blocks with HOJIN 17 (10 and 20); the sport (13, 16 HOJINs) could take 20 too.
  cases.push_back({"demo disk", sample::demoDisk(), {0, 1}, "64"});
  return cases;
}

class CliRescueInterleaved : public ::testing::TestWithParam<size_t> {};

TEST_P(CliRescueInterleaved, OnlyARecordingsOwnChainIsCertainAndUncertainExportsFail) {
  if (fileSize(cliPath()) < 0) GTEST_SKIP() << "korvelo-cli is not built";
  const InterleavedCase test = interleavedCases().at(GetParam());
  SCOPED_TRACE(test.name);
  TempDir dir;
  const std::string image = dir.file("disk.img");
  sample::buildDisk(test.disk, image);
  CliRunOptions options;
  options.environment = {"ASAN_OPTIONS=detect_leaks=0"};
  std::vector<std::string> scan = {"--drive", image, "rescue", "--scan", "heads"};
  if (!test.scanLimit.empty()) scan.insert(scan.end(), {"--scan-limit", test.scanLimit});

  std::vector<std::string> listing = scan;
  listing.push_back("--json");
  const CliRun listed = runCli(listing, options);
  ASSERT_EQ(listed.status, 0) << listed.err;
  const nlohmann::json found = nlohmann::json::parse(listed.out).at("recordings");
  ASSERT_EQ(found.size(), test.disk.recordings.size());

  std::set<int> certain;
  for (const nlohmann::json& chain : found) {
    const int id = chain.at("id");
    const auto blocks = chain.at("blocks").get<std::vector<int64_t>>();
    const sample::Recording* own = nullptr;
    for (const sample::Recording& recording : test.disk.recordings)
      if (blocks.front() == recording.blocks.front()) own = &recording;
    ASSERT_NE(own, nullptr) << "chain " << id << " starts at no recording's start";
    const std::vector<int64_t> truth(own->blocks.begin(), own->blocks.end());
    const bool isOwn =
        blocks == truth && chain.at("hojins").get<uint32_t>() >= own->lengthSectors / 65;
    const std::string confidence = chain.at("confidence");
    if (confidence == "sicher") {
      EXPECT_TRUE(isOwn) << "chain " << id << " is \"sicher\" but not the recording's";
      certain.insert(own->slot);
    }
    if (!chain.at("alternatives").empty()) {
      EXPECT_EQ(chain.at("confidence_id"), "uncertain");
      EXPECT_NE(listed.err.find("Gerettet " + std::to_string(id) + ": Kette unsicher"),
                std::string::npos)
          << listed.err;
    }

    std::vector<std::string> save = scan;
    save.insert(save.end(), {"export", std::to_string(id), "-o", dir.file("out")});
    const CliRun saved = runCli(save, options);
    const bool spliceRisk = confidence == "unsicher" && !chain.at("alternatives").empty();
    if (spliceRisk) {
      EXPECT_EQ(saved.status, 1) << saved.err;
      EXPECT_NE(saved.err.find("Gerettete Aufnahme " + std::to_string(id) +
                               " wurde nicht vollständig gespeichert. (Kette unsicher"),
                std::string::npos)
          << saved.err;
      const std::vector<uint8_t> text = readFileBytes(dir.file("out") + "/korvelo-manifest.json");
      const nlohmann::json manifest = nlohmann::json::parse(text.begin(), text.end());
      bool recorded = false;
      for (const nlohmann::json& record : manifest.at("recordings")) {
        if (record.at("entry").get<int>() != id) continue;
        recorded = true;
        EXPECT_FALSE(record.at("complete").get<bool>());
        EXPECT_EQ(record.at("doubt").get<std::string>().rfind("Kette unsicher", 0), 0u);
      }
      EXPECT_TRUE(recorded);
    } else if (confidence == "sicher") {
      EXPECT_EQ(saved.status, 0) << saved.err;
    }
  }
  EXPECT_EQ(certain, test.certainSlots);
}

INSTANTIATE_TEST_SUITE_P(Disks, CliRescueInterleaved,
                         ::testing::Range<size_t>(0, interleavedCases().size()));

}  // namespace
}  // namespace korvelo::test
