// SPDX-License-Identifier: GPL-3.0-or-later
// Targets that cannot be created or written: the job's messages, codes and what is left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include "export/export_fixture.h"
#include "support/file_util.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using test::expectedHav;
using test::ExportDisk;
using test::preparedJob;
using test::recordingOf;

DiskDescription twentyHojinDisk() {
  DiskDescription disk;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{8} << 30;
  disk.recordings = {recordingOf(0, {3, 4}, 20 * 65)};
  return disk;
}

// Files of this process cannot grow beyond `bytes` while the object lives; writes past
// the limit fail with EFBIG instead of raising a signal.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  sighandler_t previousHandler_;
};

class WriteFailure : public ::testing::Test {
 protected:
  ExportDisk disk{twentyHojinDisk()};
};

TEST_F(WriteFailure, MissingFolderMeansTheFileIsNotCreated) {
  const std::string path = disk.output("no-such-folder/x.hav");
  auto job = preparedJob(disk, 0, path);
  EXPECT_EQ(job->openFile(), 2);
  EXPECT_EQ(job->getErrorCode(), 2);
  EXPECT_FALSE(job->isCopying());
  EXPECT_EQ(job->getMessages(), "\r\nFehler beim Öffnen der Datei \"" + path +
                                    "\"\r\n  FileException: Datei oder Ordner gibt es nicht");
  job->copyStep(true);
  EXPECT_TRUE(job->isFinished());
}

TEST_F(WriteFailure, AFolderThatIsARegularFileFailsToo) {
  const std::string blocker = disk.output("plain-file");
  test::writeFileBytes(blocker, std::vector<uint8_t>{1, 2, 3});
  auto job = preparedJob(disk, 0, blocker + "/x.hav");
  EXPECT_EQ(job->openFile(), 2);
  EXPECT_EQ(job->getMessages(),
            "\r\nFehler beim Öffnen der Datei \"" + blocker +
                "/x.hav\"\r\n  FileException: Ein Teil des Pfads ist kein Ordner");
}

// A device is never a target, not even one that takes writes.
TEST_F(WriteFailure, ADeviceIsNeverOpenedForWriting) {
  auto job = preparedJob(disk, 0, "/dev/full");
  EXPECT_EQ(job->openFile(), 2);
  EXPECT_EQ(job->getMessages(),
            "\r\nFehler beim Öffnen der Datei \"/dev/full\"\r\n  FileException: " +
                describeError(ENOTSUP));
  EXPECT_FALSE(job->isCopying());
}

// Nor is a file with a second name: writing it would change the file under that name too.
TEST_F(WriteFailure, AFileWithASecondNameIsNeverOpenedForWriting) {
  const std::string outside = disk.output("fremd.hav");
  const std::vector<uint8_t> foreign(100, 'x');
  test::writeFileBytes(outside, foreign);
  const std::string path = disk.output("verknuepft.hav");
  ASSERT_EQ(::link(outside.c_str(), path.c_str()), 0);
  auto job = preparedJob(disk, 0, path);
  EXPECT_EQ(job->openFile(), 2);
  EXPECT_EQ(job->getMessages(), "\r\nFehler beim Öffnen der Datei \"" + path +
                                    "\"\r\n  FileException: " + describeError(EMLINK));
  EXPECT_EQ(test::readFileBytes(outside), foreign);
}

TEST_F(WriteFailure, AHeadThatCannotBeWrittenEndsTheJobWithCodeThree) {
  auto job = preparedJob(disk, 0, disk.output("head.hav"));
  int result;
  {
    FileSizeLimit limit(40);
    result = job->openFile();
  }
  EXPECT_EQ(result, 3);
  EXPECT_EQ(job->getMessages(),
            "\r\nFehler beim Schreiben der ersten 88 (0x58) Bytes.\r\n  FileException: " +
                describeError(EFBIG));
  EXPECT_FALSE(job->isCopying());
}

TEST_F(WriteFailure, TheEntryImageNotWrittenEndsTheJobWithCodeFour) {
  const std::string path = disk.output("entry.hav");
  auto job = preparedJob(disk, 0, path);
  int result;
  {
    FileSizeLimit limit(88 + 100);
    result = job->openFile();
  }
  EXPECT_EQ(result, 4);
  EXPECT_EQ(job->getMessages(),
            "\r\nFehler beim Schreiben des HAV-internen Verzeichniseintrags.\r\n"
            "  FileException: Datei zu groß");
}

TEST_F(WriteFailure, AHojinNotWrittenEndsTheJobAndKeepsWhatWasWritten) {
  const std::string path = disk.output("hojin.hav");
  auto job = preparedJob(disk, 0, path);
  {
    FileSizeLimit limit(1624 + 2 * 33280 + 1000);
    ASSERT_EQ(job->openFile(), 0);
    job->copyStep(true);
  }
  EXPECT_TRUE(job->isFinished());
  EXPECT_FALSE(job->isCopying());
  EXPECT_EQ(job->getErrorCode(), 4);
  EXPECT_EQ(job->getCurrentHojin(), 3);
  EXPECT_EQ(job->getMessages(),
            "\r\nFehler beim Schreiben von HOJIN 3 von 20.\r\n  FileException: Datei zu groß");
  // HOJINs 1 and 2 whole, then as much of HOJIN 3 as the limit let through.
  const std::vector<uint8_t> file = test::readFileBytes(path);
  ASSERT_EQ(file.size(), 1624u + 2 * 33280 + 1000);
  const std::vector<uint8_t> expected = expectedHav(disk, disk.recording(0));
  EXPECT_TRUE(std::equal(file.begin(), file.end(), expected.begin()));
}

TEST_F(WriteFailure, TheRecorderImageItselfIsNeverATarget) {
  const int64_t before = test::fileSize(disk.imagePath());
  auto job = preparedJob(disk, 0, disk.imagePath());
  EXPECT_EQ(job->openFile(), 2);
  EXPECT_EQ(test::fileSize(disk.imagePath()), before);
  EXPECT_EQ(
      job->getMessages().rfind("\r\nFehler beim Öffnen der Datei \"" + disk.imagePath() + "\"", 0),
      0u);
  // The disk still reads: its directory is there.
  Fsr5000Disk again('0');
  again.setSizeFileFAT(1);
  EXPECT_TRUE(again.readDirectory(false));
  EXPECT_EQ(again.getEntries().size(), 1u);
}

}  // namespace
}  // namespace korvelo
