// SPDX-License-Identifier: GPL-3.0-or-later
// The ".hav" file's writer: writes of every length and alignment, and a write at an
// offset in between, leave exactly the bytes written after each write, on a disk's file
// system and on tmpfs.
#include "export/output_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <numeric>
#include <vector>

#include "disk/target_folder.h"
#include "support/file_util.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

void writeAndCompare(const std::string& folderPath) {
  TargetFolder folder;
  ASSERT_EQ(folder.open(folderPath), 0);
  OutputFile file;
  ASSERT_EQ(file.create(folder, "x.hav"), 0);
  const std::string path = folderPath + "/x.hav";
  std::vector<uint8_t> expected;
  // The head, HOJINs, a large read's worth, writes within one page and across a boundary.
  const size_t sizes[] = {1624,       33280, 2472, 4096,         (size_t{1} << 20) + 3,       5,
                          16 * 33280, 4095,  1,    4096 * 3 + 7, 2 * (size_t{1} << 20) + 4096};
  uint8_t next = 1;
  for (const size_t size : sizes) {
    std::vector<uint8_t> data(size);
    std::iota(data.begin(), data.end(), next);
    next = static_cast<uint8_t>(next + 37);
    ASSERT_EQ(file.writeAll(data.data(), data.size()), 0) << size;
    expected.insert(expected.end(), data.begin(), data.end());
    ASSERT_EQ(test::readFileBytes(path), expected) << "after a write of " << size << " bytes";
    ASSERT_EQ(file.length(), static_cast<int64_t>(expected.size()));
  }
  const std::vector<uint8_t> patch = {9, 8, 7, 6, 5, 4, 3};
  ASSERT_EQ(file.writeAllAt(4093, patch), 0);  // across a page boundary
  std::copy(patch.begin(), patch.end(), expected.begin() + 4093);
  EXPECT_EQ(file.syncAndClose(), 0);
  EXPECT_EQ(test::readFileBytes(path), expected);
}

TEST(OutputFileTest, HoldsExactlyTheBytesWrittenAfterEveryWrite) {
  test::TempDir dir;
  writeAndCompare(dir.path());
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  char shm[] = "/dev/shm/korvelo-test-XXXXXX";
  ASSERT_NE(::mkdtemp(shm), nullptr);
  writeAndCompare(shm);
  std::filesystem::remove_all(shm);
}

}  // namespace
}  // namespace korvelo
