// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "recfs/fsr5000_disk.h"
#include "recfs/recfs_fixture.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using sample::HeadDefect;
using test::recordingIn;
using test::SampleDisk;
using test::statusLines;

constexpr int kF = 4;

// `count` recordings in slots 0 ... count - 1, recording i in block 2 i + 1; the
// positions in `notStarts` carry a first HOJIN that does not start a recording.
DiskDescription recordingsDisk(int count, std::vector<int> notStarts = {}) {
  DiskDescription disk;
  disk.fileFatSize = kF;
  disk.imageBytes = uint64_t{8} << 30;
  for (int i = 0; i < count; ++i) {
    disk.recordings.push_back(recordingIn(i, {static_cast<uint32_t>(2 * i + 1)}, 2));
  }
  for (size_t n = 0; n < notStarts.size(); ++n) {
    // Alternate the two ways a first HOJIN can fail the test.
    const HeadDefect defect = n % 2 ? HeadDefect::WrongSignature : HeadDefect::NotRecordingStart;
    disk.recordings[static_cast<size_t>(notStarts[n])].defects = {{1, defect}};
  }
  return disk;
}

int64_t firstHojinSector(const DiskDescription& disk, int position) {
  return sample::hojinSector(disk, disk.recordings[static_cast<size_t>(position)], 1);
}

TEST(VerificationTest, SixteenOfTwentyTestedTwelveGood) {
  const DiskDescription description = recordingsDisk(20, {0, 5, 9, 15});
  // The recordings after the 16th are never looked at: their HOJINs may be unreadable;
  // of the others only the heads are, so a bad sector behind one does not count.
  SampleDisk image(description,
                   {firstHojinSector(description, 16), firstHojinSector(description, 3) + 30});
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kF);
  EXPECT_EQ(disk.verifySizeFileFAT(), kF);
  EXPECT_EQ(statusText(), "Überprüfung bestätigt 4 als \"File-FAT-Size\"-Wert ( 75%).");
  EXPECT_EQ(disk.heldFileFatSize(), kF);
}

TEST(VerificationTest, TwoOfThreeGood) {
  SampleDisk image(recordingsDisk(3, {1}));
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kF);
  EXPECT_EQ(disk.verifySizeFileFAT(), kF);
  EXPECT_EQ(statusText(), "Überprüfung bestätigt 4 als \"File-FAT-Size\"-Wert ( 67%).");
}

TEST(VerificationTest, AllGoodShowsAHundred) {
  SampleDisk image(recordingsDisk(2));
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kF);
  EXPECT_EQ(disk.verifySizeFileFAT(), kF);
  EXPECT_EQ(statusText(), "Überprüfung bestätigt 4 als \"File-FAT-Size\"-Wert (100%).");
}

TEST(VerificationTest, NoRecordingsKeepsTheCurrentValue) {
  SampleDisk image(recordingsDisk(0));
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(33);
  EXPECT_EQ(disk.verifySizeFileFAT(), 33);
  EXPECT_EQ(statusText(),
            "Keine Aufzeichnungen gefunden, \"File-FAT-Size\"-Überprüfung nicht möglich.");
}

TEST(VerificationTest, ReadsTheDirectoryWhenNotYetRead) {
  SampleDisk image(recordingsDisk(2));
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kF);
  EXPECT_EQ(disk.verifySizeFileFAT(), kF);
  EXPECT_TRUE(disk.isDirectoryRead());
  EXPECT_EQ(disk.getEntries().size(), 2u);
  EXPECT_EQ(statusLines().size(), 1u);
}

// Slot 1 unreadable: the test goes on with the entries there are (positions 0 and 1,
// entry numbers 0 and 2), and the structure line is dropped with the confirmation.
TEST(VerificationTest, UnreadableSlotLeavesTheTestToTheOtherEntries) {
  SampleDisk image(recordingsDisk(3), {6598704 + 32});
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kF);
  EXPECT_EQ(disk.verifySizeFileFAT(), kF);
  EXPECT_EQ(disk.getUnreadableSlots(), 1);
  EXPECT_EQ(statusText(), "Überprüfung bestätigt 4 als \"File-FAT-Size\"-Wert (100%).");
}

// Position 2 holds entry number 5; the file FAT region of entry 2 points at its block,
// so every read succeeds.
DiskDescription misnumberedDisk() {
  DiskDescription disk = recordingsDisk(4);
  disk.recordings[2].entryNumber = 5;
  const uint32_t block = disk.recordings[2].blocks[0];
  std::vector<uint8_t> fat(512, 0);
  fat[block / 8] = static_cast<uint8_t>(0x80u >> (block % 8));
  disk.rawSectors = {{sample::fileFatSector(disk.model, kF, 2), fat}};
  return disk;
}

TEST(VerificationTest, StructureErrorIsDroppedFromTheConfirmation) {
  SampleDisk image(misnumberedDisk());
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kF);
  EXPECT_EQ(disk.verifySizeFileFAT(), kF);
  EXPECT_EQ(statusText(), "Überprüfung bestätigt 4 als \"File-FAT-Size\"-Wert (100%).");
}

TEST(VerificationTest, StructureErrorStaysWithAFailingRead) {
  const DiskDescription description = misnumberedDisk();
  const int64_t bad = firstHojinSector(description, 3);
  SampleDisk image(description, {bad});
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kF);
  EXPECT_EQ(disk.verifySizeFileFAT(), -1);
  EXPECT_EQ(statusLines(),
            (std::vector<std::string>{
                "Strukturfehler! Interner Index 5 von Verzeichniseintrag 2 stimmt nicht!",
                "Fehler beim Lesen mit \"File-FAT-Size\" 4 des StartHOJIN 3 aus Sektor " +
                    std::to_string(bad) + ".",
                "Überprüfung ergab keinen gültigen \"File-FAT-Size\"-Wert unterhalb von 256."}));
  EXPECT_EQ(disk.heldFileFatSize(), kF);
}

TEST(VerificationTest, HojinLocationTraceDoesNotRemain) {
  SampleDisk image(recordingsDisk(1));
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kF);
  disk.verifySizeFileFAT();
  EXPECT_EQ(statusText().find("DEBUG"), std::string::npos);
}

TEST(VerificationTest, UnsetSizeFailsAtTheFirstRecording) {
  DiskDescription description = recordingsDisk(2);
  description.probeMarker = false;
  description.recordings[0].blocks = {1};  // nothing in block 0 either
  SampleDisk image(description);
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.verifySizeFileFAT(), -1);
  EXPECT_EQ(statusLines(),
            (std::vector<std::string>{
                "Fehler beim Lesen mit \"File-FAT-Size\" -1 des StartHOJIN 0 aus Sektor -1.",
                "Überprüfung ergab keinen gültigen \"File-FAT-Size\"-Wert unterhalb von 256."}));
  EXPECT_EQ(disk.heldFileFatSize(), -1);
}

TEST(VerificationTest, SizeProbedDuringAFailedTestIsNotKept) {
  const DiskDescription description = recordingsDisk(2);
  SampleDisk image(description, {firstHojinSector(description, 0)});
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.verifySizeFileFAT(), -1);
  EXPECT_EQ(statusLines().at(0),
            "Fehler beim Lesen mit \"File-FAT-Size\" 4 des StartHOJIN 0 aus Sektor " +
                std::to_string(firstHojinSector(description, 0)) + ".");
  EXPECT_EQ(disk.heldFileFatSize(), -1);
}

TEST(VerificationTest, SizeProbedDuringASuccessfulTestIsTheResult) {
  SampleDisk image(recordingsDisk(2));
  Fsr5000Disk disk('0');
  EXPECT_EQ(disk.verifySizeFileFAT(), kF);
  EXPECT_EQ(disk.heldFileFatSize(), kF);
}

}  // namespace
}  // namespace korvelo
