// SPDX-License-Identifier: GPL-3.0-or-later
// metadata-image, run as the built program: a sparse image as large as the disk with the
// listing's sectors only, listed like the disk, and never written over anything it must not.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/file_util.h"

namespace korvelo::test {
namespace {

std::vector<uint8_t> readAt(const std::string& path, int64_t sector, int count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * 512);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), sector * 512);
  ::close(fd);
  if (got != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("short read " + path);
  return bytes;
}

bool allZero(const std::vector<uint8_t>& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

class MetadataImageTest : public DemoDiskTest {
 protected:
  std::string metadataImage() {
    const std::string path = output_.file("meta.img");
    const CliRun run = runCli({"--drive", image(), "metadata-image", "-o", path});
    EXPECT_EQ(run.status, 0) << run.err;
    return path;
  }
};

TEST_F(MetadataImageTest, HoldsTheDirectoryAndFileFatsAtTheirPlacesAndNoRecordingData) {
  const std::string meta = metadataImage();
  EXPECT_EQ(fileSize(meta), static_cast<int64_t>(disk().imageBytes));
  struct stat info {};
  ASSERT_EQ(::stat(meta.c_str(), &info), 0);
  EXPECT_LT(int64_t{info.st_blocks} * 512, int64_t{8} << 20);  // small enough to mail

  const sample::Model model = disk().model;
  const int f = disk().fileFatSize;
  EXPECT_EQ(readAt(meta, 16, 16), readAt(image(), 16, 16));
  EXPECT_EQ(readAt(meta, 307489, 1), readAt(image(), 307489, 1));
  EXPECT_EQ(readAt(meta, sample::directoryHeadSector(model), 1),
            readAt(image(), sample::directoryHeadSector(model), 1));
  for (const sample::Recording& recording : disk().recordings) {
    SCOPED_TRACE(recording.entryNumber);
    const int64_t slot = sample::slotSector(model, recording.slot);
    EXPECT_EQ(readAt(meta, slot, 3), readAt(image(), slot, 3));
    const int64_t fat = sample::fileFatSector(model, f, recording.entryNumber);
    EXPECT_EQ(readAt(meta, fat, f), readAt(image(), fat, f));
    // The first HOJIN's head is there for the test of the File-FAT-Size; no data is.
    const int64_t first = sample::hojinSector(disk(), recording, 1);
    EXPECT_EQ(readAt(meta, first, 1), readAt(image(), first, 1));
    EXPECT_TRUE(allZero(readAt(meta, first + 1, 64)));
    if (sample::hojinCount(recording) >= 2) {
      const int64_t second = sample::hojinSector(disk(), recording, 2);
      EXPECT_FALSE(allZero(readAt(image(), second, 65)));
      EXPECT_TRUE(allZero(readAt(meta, second, 65)));
    }
  }
  const int64_t probe = sample::dataAreaStart(model, f);
  EXPECT_EQ(readAt(meta, probe, 1), readAt(image(), probe, 1));
}

TEST_F(MetadataImageTest, ListsLikeTheDiskAndThroughItsMapfileReportsTheMissingData) {
  const std::string meta = metadataImage();
  const std::string map = meta + ".map";
  const CliRun original = runCli({"--drive", image(), "list"});
  const CliRun fromMeta = runCli({"--drive", meta, "list"});
  const CliRun throughMap = runCli({"--drive", meta, "--mapfile", map, "list"});
  EXPECT_EQ(fromMeta.status, 0) << fromMeta.err;
  EXPECT_EQ(fromMeta.out, original.out);
  EXPECT_EQ(throughMap.status, 0) << throughMap.err;
  EXPECT_EQ(throughMap.out, original.out);

  // Of all the recording's data the image holds only the head of its first HOJIN.
  const sample::Recording& tatort = recording(0);
  ASSERT_EQ(tatort.lengthSectors % 65, 0u);
  const auto hojins = static_cast<int>(sample::hojinCount(tatort));
  const CliRun saved =
      runCli({"--drive", meta, "--mapfile", map, "export", "0", "-o", output_.file("filme")});
  EXPECT_EQ(saved.status, 1);
  EXPECT_NE(saved.err.find("Beschädigt: " + std::to_string(hojins) + " Hojins mit zusammen " +
                           grouped(uint64_t(hojins) * 65 - 1) +
                           " nicht lesbaren Sektoren (mit Nullen gefüllt)."),
            std::string::npos)
      << saved.err;
}

// Every HOJIN but the first has its head among the unreadable sectors: zeros, never read.
// No head warning speaks of them; a quiet run has one line for the recording's damage.
TEST_F(MetadataImageTest, ZeroFilledHojinsGetNoHeadWarningsAndAQuietRunOneDamageLine) {
  const std::string meta = metadataImage();
  const std::string map = meta + ".map";
  const auto hojins = static_cast<int>(sample::hojinCount(recording(0)));
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "-q" : "default");
    std::vector<std::string> arguments = {"--drive", meta, "--mapfile", map};
    if (quiet) arguments.push_back("-q");
    const std::string folder = output_.file(quiet ? "quiet" : "loud");
    arguments.insert(arguments.end(), {"export", "0", "--warnings", "-o", folder});
    const CliRun saved = runCli(arguments);
    EXPECT_EQ(saved.status, 1);
    for (const char* head : {"Reihenfolge ist falsch", "Signatur des Hojin", "interne Nummer",
                             "kein Aufzeichnungsanfang", "[HOJIN A-Sektor"})
      EXPECT_EQ(saved.err.find(head), std::string::npos) << head << "\n" << saved.err;
    int unreadableLines = 0, damageLines = 0;
    for (const std::string& line : saved.errLines()) {
      if (line.find("nicht lesbar, mit Nullen gefüllt.") != std::string::npos) ++unreadableLines;
      if (line.starts_with("Beschädigt: ")) ++damageLines;
    }
    EXPECT_EQ(damageLines, 1) << saved.err;
    EXPECT_EQ(unreadableLines, quiet ? 0 : hojins) << saved.err;
  }
}

TEST_F(MetadataImageTest, AnExistingFileIsKeptUnlessForced) {
  const std::string path = output_.file("meta.img");
  writeFileBytes(path, std::vector<uint8_t>{1, 2, 3});
  const CliRun refused = runCli({"--drive", image(), "metadata-image", "-o", path});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("\"" + path + "\" gibt es schon; zum Überschreiben --force angeben."),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(readFileBytes(path), (std::vector<uint8_t>{1, 2, 3}));
  // The mapfile beside it is kept just as well.
  writeFileBytes(path + ".map", std::vector<uint8_t>{4});
  ::unlink(path.c_str());
  const CliRun mapKept = runCli({"--drive", image(), "metadata-image", "-o", path});
  EXPECT_EQ(mapKept.status, 1);
  EXPECT_EQ(readFileBytes(path + ".map"), (std::vector<uint8_t>{4}));
  EXPECT_EQ(fileSize(path), -1);
  const CliRun forced = runCli({"--drive", image(), "metadata-image", "-o", path, "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(forced.outLines(), (std::vector<std::string>{path, path + ".map"}));
  EXPECT_EQ(fileSize(path), static_cast<int64_t>(disk().imageBytes));
}

TEST_F(MetadataImageTest, ADeviceOrTheDiskItselfIsNeverWritten) {
  const CliRun device =
      runCli({"--drive", image(), "metadata-image", "-o", "/dev/null", "--force"});
  EXPECT_EQ(device.status, 1);
  EXPECT_NE(device.err.find("\"/dev/null\" ist ein Gerät; dorthin wird nie geschrieben."),
            std::string::npos)
      << device.err;
  const std::string before = fileFingerprint(image());
  const CliRun itself = runCli({"--drive", image(), "metadata-image", "-o", image(), "--force"});
  EXPECT_EQ(itself.status, 1);
  EXPECT_NE(itself.err.find("ist die Festplatte, von der gelesen wird."), std::string::npos);
  EXPECT_EQ(fileFingerprint(image()), before);
}

}  // namespace
}  // namespace korvelo::test
