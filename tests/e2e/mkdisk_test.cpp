// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-mkdisk run as a program: exit codes, the printed description and the image it writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "diskbuilder/description_json.h"
#include "diskbuilder/disk_builder.h"
#include "support/cli_runner.h"
#include "support/image_reading.h"

namespace korvelo::sample {
namespace {

using testing::big32;
using testing::readSector;
using testing::ScratchImage;

struct RunResult {
  int exitCode = -1;
  std::string out;
};

// The arguments are split at blanks (no test passes one with a blank inside).
RunResult runMkdisk(const std::string& arguments) {
  std::vector<std::string> words;
  std::istringstream in(arguments);
  for (std::string word; in >> word;) words.push_back(word);
  test::CliRunOptions options;
  options.program = std::string(KORVELO_BIN_DIR) + "/korvelo-mkdisk";
  const test::CliRun run = test::runCli(words, options);
  return RunResult{run.status, run.out};
}

bool exists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

TEST(Mkdisk, DemoPresetWritesTheImageAndPrintsItsDescription) {
  ScratchImage image("cli_demo");
  const RunResult run = runMkdisk("--preset demo -o " + image.path() + " --print-json");
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_EQ(descriptionFromJson(run.out), demoDisk());
  struct stat status {};
  ASSERT_EQ(::stat(image.path().c_str(), &status), 0);
  EXPECT_EQ(static_cast<uint64_t>(status.st_size), 160039272960ULL);
  EXPECT_EQ(0, std::memcmp(readSector(image.path(), 31).data(), "Handan HFS Vol000", 18));
}

TEST(Mkdisk, JsonDescriptionIsBuiltAsDescribed) {
  ScratchImage image("cli_json");
  const std::string jsonPath = image.path() + ".json";
  std::ofstream(jsonPath) << R"({"model": "Tevion", "fileFatSize": 1,
      "recordings": [{"lengthSectors": 2080, "blocks": [10, 11],
                      "defects": [{"hojin": 17, "defect": "WrongOrder"}]}]})";
  const RunResult run = runMkdisk("--json " + jsonPath + " -o " + image.path());
  std::remove(jsonPath.c_str());
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_EQ(big32(readSector(image.path(), 383649), 56), 1u);
  EXPECT_EQ(big32(readSector(image.path(), 383649 + 1040), 56), 18u);
}

TEST(Mkdisk, BenchPresetTakesItsSize) {
  ScratchImage image("cli_bench");
  const RunResult run =
      runMkdisk("--preset bench --bench-bytes 2000000 -o " + image.path() + " --print-json");
  ASSERT_EQ(run.exitCode, 0);
  const DiskDescription disk = descriptionFromJson(run.out);
  EXPECT_EQ(disk, benchDisk(2000000));
  const Recording& r = disk.recordings.at(0);
  EXPECT_EQ(readHojinFromImage(image.path(), disk, r, 61), expectedHojin(disk, r, 61));
}

TEST(Mkdisk, ErrorsExitWithOneAndWriteNothing) {
  ScratchImage image("cli_bad");
  EXPECT_EQ(runMkdisk("--preset nonsense -o " + image.path()).exitCode, 1);
  EXPECT_EQ(runMkdisk("--json /nonexistent/desc.json -o " + image.path()).exitCode, 1);
  EXPECT_EQ(runMkdisk("--preset demo").exitCode, 1);
  EXPECT_EQ(runMkdisk("-o /nonexistent/dir/disk.img").exitCode, 1);
  EXPECT_FALSE(exists(image.path()));
}

TEST(Mkdisk, InvalidDescriptionIsRefused) {
  ScratchImage image("cli_invalid");
  const std::string jsonPath = image.path() + ".json";
  std::ofstream(jsonPath) << R"({"recordings": [{"slot": 2000}]})";
  const RunResult run = runMkdisk("--json " + jsonPath + " -o " + image.path());
  std::remove(jsonPath.c_str());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(exists(image.path()));
}

}  // namespace
}  // namespace korvelo::sample
