// SPDX-License-Identifier: GPL-3.0-or-later
// The same search on a real block device: a built recorder image attached read-only
// as a loop device. Needs root and a working losetup; skipped otherwise.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/physical_drive.h"
#include "diskbuilder/disk_builder.h"
#include "recfs/detection.h"
#include "recfs/status_text.h"
#include "support/cli_runner.h"
#include "support/file_util.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

// Runs a program without a shell; its standard output, or nothing when it failed.
std::optional<std::string> runProgram(const std::vector<std::string>& arguments) {
  test::CliRunOptions options;
  options.program = arguments.at(0);
  test::CliRun run = test::runCli({arguments.begin() + 1, arguments.end()}, options);
  if (run.status != 0) return std::nullopt;
  return std::move(run.out);
}

// An image attached read-only for the life of the object; detached in every case.
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image) {
    auto output = runProgram({"losetup", "--find", "--show", "--read-only", image});
    if (output) {
      while (!output->empty() && (output->back() == '\n' || output->back() == ' '))
        output->pop_back();
      path_ = *output;
    }
  }
  ~LoopDevice() {
    if (!path_.empty()) runProgram({"losetup", "--detach", path_});
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;  // empty when attaching failed
};

TEST(LoopDeviceTest, FindsTheRecorderOnABlockDevice) {
  if (::geteuid() != 0) GTEST_SKIP() << "attaching a loop device needs root";
  test::TempDir dir;
  const std::string image = dir.file("recorder.img");
  sample::DiskDescription disk;
  disk.imageBytes = 160039272960ULL;
  sample::buildDisk(disk, image);
  LoopDevice loop(image);
  if (loop.path().empty()) GTEST_SKIP() << "losetup could not attach an image here";

  const std::string pc = dir.file("pc.img");
  test::createSparseFile(pc, 64 << 20);
  test::ScopedTestDrives drives(std::vector<std::string>{pc, loop.path()});
  fileSysCheckRelaxed = false;
  EXPECT_EQ(findRecorderDrive(), '1');
  EXPECT_EQ(
      statusText(),
      " Untersuche Festplatte 0 ...  Signatur stimmt nicht.\r\n"
      " Untersuche Festplatte 1 ...  Signatur stimmt! -   \"file_system.sys\"-Sektor vorhanden.");

  PhysicalDrive drive;
  ASSERT_TRUE(drive.open('1'));
  const MediaInfo media = drive.source()->mediaInfo();
  EXPECT_EQ(media.kind, MediaKind::Fixed);  // loop devices are not removable
  EXPECT_EQ(media.bytesPerSector, 512);
  EXPECT_EQ(media.sizeBytes, 160039272960);

  const int64_t lastSector = 160039272960 / 512 - 1;
  EXPECT_TRUE(drive.readSector(lastSector, 1));
  EXPECT_FALSE(drive.readSector(lastSector + 1, 1));
  auto signature = drive.readSector(16, 1);
  ASSERT_TRUE(signature);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(signature.get()), 18),
            std::string("Handan HFS Vol000\0", 18));

  // Handed over as a descriptor (as udisks2 does it), the device is found the same way
  // and read past the page cache: direct reads are switched on for the descriptor itself.
  PosixFile handed;
  ASSERT_EQ(handed.open(loop.path(), O_RDONLY | O_CLOEXEC), 0);
  const auto shared = std::make_shared<const PosixFile>(std::move(handed));
  ASSERT_EQ(::fcntl(shared->get(), F_GETFL) & O_DIRECT, 0);
  test::ScopedTestDrives viaDescriptor(
      {DriveSpec{pc, {}, {}, {}}, DriveSpec{"/dev/sdb", {}, {}, shared}});
  EXPECT_EQ(findRecorderDrive(), '1');
  EXPECT_NE(::fcntl(shared->get(), F_GETFL) & O_DIRECT, 0);
}

}  // namespace
}  // namespace korvelo
