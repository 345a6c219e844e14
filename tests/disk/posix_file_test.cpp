// SPDX-License-Identifier: GPL-3.0-or-later
// The one file owner: positioned reads to the end, whole writes, and the two ways a
// small file is written, each tried against what a hostile folder may hold in the
// target's place or the temporary's (a link to a file outside, a dangling link, a pipe).

#include "disk/posix_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

using test::TempDir;

std::string readText(const std::string& path) {
  const std::vector<uint8_t> bytes = test::readFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& path, const std::string& text) {
  test::writeFileBytes(path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder))
    names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PosixFileTest, ReadsStopShortOnlyAtTheEndAndWritesTakeEveryByte) {
  TempDir dir;
  const std::string path = dir.file("data");
  PosixFile file;
  ASSERT_EQ(file.createRegular(path, true), 0);
  EXPECT_EQ(file.writeAll(std::string_view("0123456789")), 0);
  const uint8_t tail[] = {'A', 'B'};
  EXPECT_EQ(file.writeAllAt(10, tail), 0);
  EXPECT_EQ(file.sync(), 0);

  std::vector<uint8_t> buffer(8, 0xEE);
  PosixFile reader;
  ASSERT_EQ(reader.open(path, O_RDONLY | O_CLOEXEC), 0);
  EXPECT_EQ(reader.readAt(2, buffer), 8);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "23456789");
  EXPECT_EQ(reader.readAt(7, buffer), 5);  // short: the end
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), "789AB");
  EXPECT_EQ(reader.readAt(12, buffer), 0);
  EXPECT_EQ(reader.readAt(-1, buffer), -EINVAL);
  EXPECT_EQ(file.readAt(0, buffer), -EBADF);  // opened for writing only
  EXPECT_EQ(reader.readAt(0, std::span<uint8_t>(buffer).first(0)), 0);

  PosixFile moved = std::move(file);
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(file.writeAll(std::string_view("x")), EBADF);
  EXPECT_EQ(moved.close(), 0);
  EXPECT_FALSE(moved.isOpen());
  EXPECT_EQ(moved.close(), 0);  // closing twice is no fault
  EXPECT_EQ(readText(path), "0123456789AB");
}

TEST(PosixFileTest, CreatingRefusesLinksAndPipesWithoutTouchingThem) {
  TempDir dir;
  TempDir outside;
  writeText(outside.file("victim"), "bleibt");
  std::filesystem::create_symlink(outside.file("victim"), dir.file("link"));
  std::filesystem::create_symlink(outside.file("neu"), dir.file("dangling"));
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  writeText(dir.file("old"), "alter Inhalt");

  PosixFile file;
  EXPECT_EQ(file.createRegular(dir.file("link"), false), ELOOP);
  EXPECT_EQ(file.createRegular(dir.file("dangling"), false), ELOOP);
  EXPECT_EQ(file.createRegular(dir.file("dangling"), true), EEXIST);
  EXPECT_EQ(file.createRegular(dir.file("pipe"), false), ENXIO);  // no reader: would block
  EXPECT_EQ(file.createRegular("/dev/null", false), ENOTSUP);
  EXPECT_EQ(file.createRegular(dir.file("old"), true), EEXIST);
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(readText(outside.file("victim")), "bleibt");
  EXPECT_EQ(namesIn(outside.path()), std::vector<std::string>{"victim"});
  EXPECT_EQ(readText(dir.file("old")), "alter Inhalt");
  ASSERT_EQ(file.createRegular(dir.file("old"), false), 0);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(readText(dir.file("old")), "");
}

struct WholeFileCase {
  const char* name;
  // Prepares the folder; the target is <dir>/target, a file outside is <outside>/victim.
  std::function<void(const TempDir& dir, const TempDir& outside)> prepare;
  bool replace;             // atomicReplace, else writeNewFile
  int error;                // what the write answers
  const char* targetAfter;  // the target's text afterwards; null: not a regular file
};

class WholeFileTest : public ::testing::TestWithParam<WholeFileCase> {};

TEST_P(WholeFileTest, WritesOnlyWhereItMay) {
  TempDir dir;
  TempDir outside;
  writeText(outside.file("victim"), "bleibt");
  GetParam().prepare(dir, outside);
  const std::string target = dir.file("target");
  const int error =
      GetParam().replace ? atomicReplace(target, "neu\n") : writeNewFile(target, "neu\n");
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(readText(outside.file("victim")), "bleibt");
  EXPECT_EQ(namesIn(outside.path()), std::vector<std::string>{"victim"});
  if (GetParam().targetAfter) {
    EXPECT_EQ(readText(target), GetParam().targetAfter);
    EXPECT_FALSE(std::filesystem::is_symlink(target));
  } else {
    EXPECT_TRUE(std::filesystem::is_symlink(target));
  }
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"target"}) << "no temporary stays";
}

const std::string kTemporary = ".target." + std::to_string(::getpid()) + ".tmp";

INSTANTIATE_TEST_SUITE_P(
    Cases, WholeFileTest,
    ::testing::Values(
        WholeFileCase{"ReplaceMakesANewFile", [](auto&, auto&) {}, true, 0, "neu\n"},
        WholeFileCase{
            "ReplaceTakesTheOldFilesPlace",
            [](const TempDir& dir, auto&) { writeText(dir.file("target"), "alt\nalt\n"); }, true, 0,
            "neu\n"},
        WholeFileCase{"ReplaceRefusesALinkToAFileOutside",
                      [](const TempDir& dir, const TempDir& outside) {
                        std::filesystem::create_symlink(outside.file("victim"), dir.file("target"));
                      },
                      true, ELOOP, nullptr},
        WholeFileCase{"ReplaceRefusesADanglingLink",
                      [](const TempDir& dir, const TempDir& outside) {
                        std::filesystem::create_symlink(outside.file("neu"), dir.file("target"));
                      },
                      true, ELOOP, nullptr},
        WholeFileCase{"ReplaceNeverWritesThroughALinkAtTheTemporarysName",
                      [](const TempDir& dir, const TempDir& outside) {
                        std::filesystem::create_symlink(outside.file("victim"),
                                                        dir.file(kTemporary));
                      },
                      true, 0, "neu\n"},
        WholeFileCase{"NewFileIsWritten", [](auto&, auto&) {}, false, 0, "neu\n"},
        WholeFileCase{"NewFileNeverReplacesOne",
                      [](const TempDir& dir, auto&) { writeText(dir.file("target"), "alt"); },
                      false, EEXIST, "alt"},
        WholeFileCase{"NewFileRefusesADanglingLink",
                      [](const TempDir& dir, const TempDir& outside) {
                        std::filesystem::create_symlink(outside.file("neu"), dir.file("target"));
                      },
                      false, EEXIST, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AtomicReplaceTest, TheNewFileKeepsTheOldOnesPermissions) {
  TempDir dir;
  writeText(dir.file("target"), "alt");
  ASSERT_EQ(::chmod(dir.file("target").c_str(), 0640), 0);
  EXPECT_EQ(atomicReplace(dir.file("target"), ""), 0);
  struct stat info {};
  ASSERT_EQ(::stat(dir.file("target").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(info.st_size, 0);
  EXPECT_EQ(atomicReplace(dir.file(std::string(255, 'n')), "x"), 0)
      << "the longest name still has a temporary";
  EXPECT_EQ(atomicReplace(dir.file("gone/target"), "x"), ENOENT);
  std::filesystem::create_directory(dir.file("folder"));
  EXPECT_EQ(atomicReplace(dir.file("folder"), "x"), ENOTSUP);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
}

}  // namespace
}  // namespace korvelo
