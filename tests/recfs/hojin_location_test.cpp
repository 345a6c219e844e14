// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cctype>
#include <vector>

#include "recfs/block_ownership.h"
#include "recfs/directory_entry.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/recfs_fixture.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using test::recordingIn;
using test::SampleDisk;
using test::statusLines;

constexpr int64_t kFatAreaStart = 6662704;

// The buffer's address as the read line shows it: at least eight upper-case hex
// digits between the given prefix and ")."; "0" digits only for a failed read.
std::string readLineAddress(const std::string& line, const std::string& prefix) {
  if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 2 ||
      line.compare(line.size() - 2, 2, ").") != 0) {
    return "";
  }
  const std::string digits = line.substr(prefix.size(), line.size() - prefix.size() - 2);
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'A' || c > 'F')) return "";
  }
  return digits.size() >= 8 ? digits : "";
}

// F = 1, entry number 0 owning blocks 10 and 11: byte 1 of its file FAT is 0x30.
DiskDescription twoBlockDisk() {
  DiskDescription disk;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{8} << 30;
  disk.recordings.push_back(recordingIn(0, {10, 11}, 32));
  return disk;
}

class TwoBlockTest : public ::testing::Test {
 protected:
  TwoBlockTest() { disk.setSizeFileFAT(1); }
  SampleDisk image{twoBlockDisk()};
  Fsr5000Disk disk{'0'};
};

TEST_F(TwoBlockTest, FirstHojinLeavesTheFullTrace) {
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 1), 6675105);
  const std::vector<std::string> lines = statusLines();
  ASSERT_EQ(lines.size(), 9u);
  const std::string address = readLineAddress(
      lines[0], "DEBUG gSNOH: readSector(nFileFATSector = 6662705, 1) returned (0x");
  ASSERT_FALSE(address.empty()) << lines[0];
  EXPECT_NE(address.find_first_not_of('0'), std::string::npos);
  const std::vector<std::string> rest(lines.begin() + 1, lines.end());
  EXPECT_EQ(rest, (std::vector<std::string>{
                      "DEBUG gSNOH: nBlockContainsHojin = 1; nBlock = 1",
                      "DEBUG gSNOH: nByteOfFAT = 1; nLastByteOfFAT = 511",
                      "DEBUG gSNOH: number of block bit of HOJIN = 11",
                      "DEBUG gSNOH: absolute number of first HOJIN in block = 160",
                      "DEBUG gSNOH: offset of HOJIN in block = 0",
                      "DEBUG gSNOH: sektor number of absolute first HOJIN = 6664705",
                      "DEBUG gSNOH: sektor offset to first HOJIN = 10400",
                      "DEBUG gSNOH: nSectorOfHojin = 6675105",
                  }));
}

TEST_F(TwoBlockTest, CachedFirstHojinTracesWithoutTheReadLine) {
  disk.getSectorNumberOfHojin(0, 2);
  image.clearReads();
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 1), 6675105);
  EXPECT_TRUE(image.reads().empty());
  ASSERT_EQ(statusLines().size(), 8u);
  EXPECT_EQ(statusLines()[0], "DEBUG gSNOH: nBlockContainsHojin = 1; nBlock = 1");
}

TEST_F(TwoBlockTest, LaterHojinsComeFromTheCacheWithoutTrace) {
  disk.getSectorNumberOfHojin(0, 1);
  image.clearReads();
  const std::vector<std::pair<int, int64_t>> cases = {
      {16, 6676080}, {17, 6676145}, {20, 6676340}, {32, 6677120}};
  for (const auto& [k, expected] : cases) {
    EXPECT_EQ(disk.getSectorNumberOfHojin(0, k), expected) << "HOJIN " << k;
    EXPECT_EQ(statusText(), "") << "HOJIN " << k;
  }
  EXPECT_TRUE(image.reads().empty());
}

TEST_F(TwoBlockTest, LaterHojinOnAnEmptyCacheShowsOnlyTheReadLine) {
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 17), 6676145);
  ASSERT_EQ(statusLines().size(), 1u);
  EXPECT_EQ(statusLines()[0].rfind(
                "DEBUG gSNOH: readSector(nFileFATSector = 6662705, 1) returned (0x", 0),
            0u);
  EXPECT_EQ(image.readsAt(6662705), 1);
}

TEST_F(TwoBlockTest, HojinBeyondTheRecordingsBlocks) {
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 33), -1);
  EXPECT_EQ(statusLines().size(), 1u);  // only the read line
}

TEST_F(TwoBlockTest, ResultsAgreeWithTheSampleLayout) {
  DiskDescription description = twoBlockDisk();
  for (int k = 1; k <= 32; ++k) {
    EXPECT_EQ(disk.getSectorNumberOfHojin(0, k),
              sample::hojinSector(description, description.recordings[0], k))
        << "HOJIN " << k;
  }
}

TEST_F(TwoBlockTest, NonsenseArgumentsReadNothing) {
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 0), -1);
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, -3), -1);
  EXPECT_EQ(disk.getSectorNumberOfHojin(-1, 1), -1);
  EXPECT_EQ(statusText(), "");
  EXPECT_TRUE(image.reads().empty());
}

TEST_F(TwoBlockTest, EntryNumbersFrom2000OnWouldReadTheDataArea) {
  EXPECT_EQ(disk.getSectorNumberOfHojin(2000, 1), -1);
  EXPECT_EQ(disk.getSectorNumberOfHojin(65535, 1), -1);
  EXPECT_EQ(statusText(), "");
  EXPECT_TRUE(image.reads().empty());
  EXPECT_EQ(disk.getSectorNumberOfHojin(1999, 1), -1);  // the last region is read
  EXPECT_EQ(image.readsAt(kFatAreaStart + 2000), 1);
}

TEST_F(TwoBlockTest, RecordingWithoutBlocksShowsTheScanThatFoundNothing) {
  EXPECT_EQ(disk.getSectorNumberOfHojin(7, 1), -1);
  const std::vector<std::string> lines = statusLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "DEBUG gSNOH: nBlockContainsHojin = 1; nBlock = 0");
  EXPECT_EQ(lines[2], "DEBUG gSNOH: nByteOfFAT = 511; nLastByteOfFAT = 511");
}

TEST_F(TwoBlockTest, ZeroFileFatSizeGivesMinusOneWithoutProbing) {
  disk.setSizeFileFAT(0);
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 1), -1);
  EXPECT_EQ(statusText(), "");
  EXPECT_TRUE(image.reads().empty());
}

TEST_F(TwoBlockTest, UnreadableFileFatIsReadAgainNextTime) {
  image.badSectors().insert(6662705);
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 1), -1);
  EXPECT_EQ(statusText(),
            "DEBUG gSNOH: readSector(nFileFATSector = 6662705, 1) returned (0x00000000).");
  image.badSectors().clear();
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 2), 6675170);
  EXPECT_EQ(image.readsAt(6662705), 2);
}

TEST_F(TwoBlockTest, NewFileFatSizeReadsTheFileFatFromItsNewPlace) {
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 1), 6675105);
  disk.setSizeFileFAT(12);
  disk.getSectorNumberOfHojin(0, 1);
  EXPECT_EQ(image.readsAt(kFatAreaStart + 12), 1);
  EXPECT_EQ(statusLines().at(0).rfind("DEBUG gSNOH: readSector(nFileFATSector = 6662716, 12)", 0),
            0u);
  disk.setSizeFileFAT(1);
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 1), 6675105);
  EXPECT_EQ(image.readsAt(6662705), 2);
}

DiskDescription twelveSectorFatDisk(bool probeMarker) {
  DiskDescription disk;
  disk.fileFatSize = 12;
  disk.probeMarker = probeMarker;
  disk.recordings.push_back(recordingIn(5, {3, 40000}, 32));
  return disk;
}

TEST(HojinLocationTest, TwelveSectorFileFatOfEntryFive) {
  SampleDisk image(twelveSectorFatDisk(true));
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(12);
  EXPECT_EQ(disk.getSectorNumberOfHojin(5, 1), 6686716 + 65 * 48);
  EXPECT_EQ(image.readsAt(6662776), 1);
  const std::vector<std::string> lines = statusLines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0].rfind("DEBUG gSNOH: readSector(nFileFATSector = 6662776, 12) returned (0x", 0),
            0u);
  EXPECT_EQ(lines[2], "DEBUG gSNOH: nByteOfFAT = 0; nLastByteOfFAT = 6143");
  EXPECT_EQ(lines[6], "DEBUG gSNOH: sektor number of absolute first HOJIN = 6686716");
  // The second block's bit lies in byte 5000 of the file FAT.
  EXPECT_EQ(disk.getSectorNumberOfHojin(5, 17), 6686716 + 65 * int64_t{16} * 40000);
}

TEST(HojinLocationTest, UnsetSizeIsDeterminedFirst) {
  SampleDisk image(twelveSectorFatDisk(true));
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.getSectorNumberOfHojin(5, 1), 6686716 + 65 * 48);
  const std::vector<std::string> lines = statusLines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "DEBUG gSNOH: getSizeFileFAT() returned 12 (0x000C).");
  EXPECT_EQ(lines[1].rfind("DEBUG gSNOH: readSector(nFileFATSector = 6662776, 12)", 0), 0u);
  EXPECT_EQ(disk.heldFileFatSize(), 12);
}

TEST(HojinLocationTest, UndeterminableSizeGivesMinusOne) {
  SampleDisk image(twelveSectorFatDisk(false));
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.getSectorNumberOfHojin(5, 1), -1);
  EXPECT_EQ(statusText(), "DEBUG gSNOH: getSizeFileFAT() returned -1 (0xFFFFFFFF).");
  EXPECT_EQ(disk.getSectorNumberOfHojin(0, 0), -1);  // probes again, then refuses k = 0
  EXPECT_EQ(statusText(), "DEBUG gSNOH: getSizeFileFAT() returned -1 (0xFFFFFFFF).");
}

// A long recording spread over a large file FAT: the last HOJIN is found as exactly
// as the first, also when the blocks are spread over many bytes.
TEST(HojinLocationTest, LongFragmentedRecordingMatchesTheSampleLayout) {
  DiskDescription description;
  description.fileFatSize = 114;
  description.probeMarker = false;
  sample::Recording recording = recordingIn(3, {}, 1);
  for (uint32_t block = 0; recording.blocks.size() < 3750; block += 1 + block % 5) {
    recording.blocks.push_back(block);
  }
  description.recordings.push_back(recording);
  SampleDisk image(description);
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(114);
  for (int k : {1, 2, 16, 17, 1000, 33333, 59999, 60000}) {
    EXPECT_EQ(disk.getSectorNumberOfHojin(3, k), sample::hojinSector(description, recording, k))
        << "HOJIN " << k;
  }
  EXPECT_EQ(disk.getSectorNumberOfHojin(3, 60001), -1);
  EXPECT_EQ(image.readsAt(kFatAreaStart + 4 * 114), 1);
}

// F = 1, three slots: the file FATs of entries 0 and 1 touch, that of entry 3 lies two
// sectors on. Entry 3 has a block more than its 16 HOJINs and the sectors after them need.
DiskDescription threeRecordingDisk() {
  DiskDescription disk;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{8} << 30;
  disk.recordings.push_back(recordingIn(0, {10, 11}, 32));
  disk.recordings.push_back(recordingIn(1, {12, 40}, 20));
  disk.recordings.push_back(recordingIn(2, {5, 7, 9}, 16));
  disk.recordings.back().entryNumber = 3;
  return disk;
}

class FileFatsAheadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disk.setSizeFileFAT(1);
    ASSERT_TRUE(disk.readDirectory(false));
    // Offered last to first: the pass goes up the file-FAT area all the same.
    for (const auto& entry : disk.getEntries()) recordings.insert(recordings.begin(), entry.get());
    image.clearReads();
  }
  // What a disk without the pass answers, HOJIN 1 to one past the sectors after the last.
  static std::vector<int64_t> freshAnswers(int entryNumber, int lastHojin) {
    Fsr5000Disk fresh('0');
    fresh.setSizeFileFAT(1);
    std::vector<int64_t> sectors;
    for (int k = 1; k <= lastHojin; ++k)
      sectors.push_back(fresh.getSectorNumberOfHojin(entryNumber, k));
    return sectors;
  }
  std::vector<int64_t> answers(int entryNumber, int lastHojin) {
    std::vector<int64_t> sectors;
    for (int k = 1; k <= lastHojin; ++k)
      sectors.push_back(disk.getSectorNumberOfHojin(entryNumber, k));
    return sectors;
  }

  SampleDisk image{threeRecordingDisk()};
  Fsr5000Disk disk{'0'};
  std::vector<const DirectoryEntry*> recordings;
};

TEST_F(FileFatsAheadTest, OnePassUpTheFileFatAreaAndNoReadWhenTheRecordingsAreCopied) {
  disk.readFileFatsAhead(recordings);
  EXPECT_EQ(image.reads(), (test::ReadLog{int64_t{6662705} * 512, int64_t{6662708} * 512}));
  image.clearReads();
  for (const auto& [entry, last] : {std::pair{0, 33}, {1, 21}, {3, 17}})
    EXPECT_EQ(answers(entry, last), freshAnswers(entry, last)) << "entry " << entry;
  EXPECT_EQ(image.reads().size(), 3u);  // the fresh disks' reads only
}

// Only the blocks a recording needs are held: a HOJIN beyond them reads the file FAT.
TEST_F(FileFatsAheadTest, AHojinBeyondTheRecordingReadsItsFileFat) {
  disk.readFileFatsAhead(recordings);
  image.clearReads();
  EXPECT_EQ(disk.getSectorNumberOfHojin(3, 33), 6664705 + 65 * 16 * 9);
  EXPECT_EQ(image.readsAt(6662708), 1);
}

// A request that fails is read again file FAT by file FAT: only the unreadable one is left
// out, and read when it is asked for, with the trace of today's read.
TEST_F(FileFatsAheadTest, AFailingRequestIsReadAgainFileFatByFileFat) {
  image.badSectors().insert(6662706);  // entry 1's file FAT
  const BlockOwnership ownership = disk.readFileFatsAhead(recordings);
  EXPECT_EQ(image.reads(), (test::ReadLog{int64_t{6662705} * 512, int64_t{6662705} * 512,
                                          int64_t{6662706} * 512, int64_t{6662708} * 512}));
  ASSERT_EQ(ownership.recordings().size(), 3u);
  EXPECT_FALSE(ownership.recordings()[1].fatRead);
  EXPECT_TRUE(ownership.recordings()[2].fatRead);
  image.clearReads();
  EXPECT_EQ(disk.getSectorNumberOfHojin(1, 1), -1);
  EXPECT_EQ(statusText(),
            "DEBUG gSNOH: readSector(nFileFATSector = 6662706, 1) returned (0x00000000).");
  image.badSectors().clear();
  for (const auto& [entry, last] : {std::pair{0, 33}, {3, 17}})
    EXPECT_EQ(answers(entry, last), freshAnswers(entry, last)) << "entry " << entry;
  EXPECT_EQ(image.readsAt(6662705), 1);  // the fresh disk's only
  EXPECT_EQ(image.readsAt(6662708), 1);
}

// A recording saved alone is held against every other file FAT: the pass reads them all,
// as for a run of all of them.
TEST_F(FileFatsAheadTest, OneRecordingStillReadsEveryFileFatInOnePass) {
  const BlockOwnership ownership = disk.readFileFatsAhead({recordings.front()});
  EXPECT_EQ(image.reads(), (test::ReadLog{int64_t{6662705} * 512, int64_t{6662708} * 512}));
  EXPECT_EQ(ownership.recordings().size(), 3u);
  image.clearReads();
  EXPECT_EQ(answers(3, 17), freshAnswers(3, 17));
  EXPECT_EQ(image.readsAt(6662708), 1);  // the fresh disk's only
}

}  // namespace
}  // namespace korvelo
