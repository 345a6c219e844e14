// SPDX-License-Identifier: GPL-3.0-or-later
// The look at a file when its export ends: what the export remembers of it counts only
// where the file as it lies agrees.

#include "export/finished_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "disk/target_folder.h"
#include "support/file_util.h"
#include "support/temp_dir.h"

namespace korvelo::test {
namespace {

constexpr int64_t kWritten = 3 << 20;

struct FinishedCase {
  const char* name;
  // What happens to the file of kWritten bytes (all 7s, as written) behind the export's back.
  std::function<void(const std::string& path)> meddle;
  const char* problem;  // the start of the problem found; empty: none
};

class FinishedFileTest : public ::testing::TestWithParam<FinishedCase> {};

TEST_P(FinishedFileTest, TrustsWhatItWroteOnlyWhereTheFileAgrees) {
  TempDir dir;
  const std::string path = dir.file("a.hav");
  const std::vector<uint8_t> written(kWritten, 7);
  writeFileBytes(path, written);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  HavDigestPair sums;
  sums.add(written);
  GetParam().meddle(path);

  TargetFolder folder;
  ASSERT_EQ(folder.open(dir.path()), 0);
  const FinishedFile finished =
      examineFinishedFile(folder, "a.hav",
                          {.written = FileIdentity{info.st_dev, info.st_ino},
                           .length = kWritten,
                           .sums = true,
                           .sumsWritten = sums.finish()});
  EXPECT_TRUE(finished.problem.starts_with(GetParam().problem)) << finished.problem;
  EXPECT_EQ(finished.problem.empty(), std::string(GetParam().problem).empty()) << finished.problem;
  // Whatever it says, the sums are those of the file as it lies.
  if (finished.bytes >= 0) {
    ASSERT_TRUE(finished.digests && finished.digests->readable);
    EXPECT_EQ(finished.digests->file, sha256Hex(readFileBytes(path)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FinishedFileTest,
    ::testing::Values(
        FinishedCase{"AsWritten", [](const std::string&) {}, ""},
        // Cut and grown back to its length: the hole reads as zeros, not as the bytes written.
        FinishedCase{"CutAndGrownBack",
                     [](const std::string& path) {
                       std::filesystem::resize_file(path, 100000);
                       std::filesystem::resize_file(path, kWritten);
                     },
                     "die Datei wurde während des Speicherns von außen verändert (ihre Bytes"},
        FinishedCase{"Cut",
                     [](const std::string& path) { std::filesystem::resize_file(path, 4096); },
                     "die Datei wurde während des Speicherns von außen verändert (sie hat 4.096 "
                     "statt 3.145.728 Bytes)"},
        FinishedCase{"GivenASecondName",
                     [](const std::string& path) {
                       std::filesystem::create_hard_link(path, path + ".link");
                     },
                     "die Datei hat während des Speicherns einen weiteren Namen bekommen"},
        FinishedCase{"Replaced",
                     [](const std::string& path) {
                       // Kept under another name, so its inode is not handed on.
                       std::filesystem::rename(path, path + ".old");
                       writeFileBytes(path, std::vector<uint8_t>(kWritten, 7));
                     },
                     "an ihrer Stelle liegt jetzt eine andere Datei"},
        FinishedCase{"Gone", [](const std::string& path) { std::filesystem::remove(path); },
                     "die Datei lässt sich nicht mehr öffnen: "}),
    [](const ::testing::TestParamInfo<FinishedCase>& info) { return info.param.name; });

}  // namespace
}  // namespace korvelo::test
