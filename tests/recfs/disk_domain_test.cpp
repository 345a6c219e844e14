// SPDX-License-Identifier: GPL-3.0-or-later
// The domain of a built disk holds exactly the sectors that the start-up reads and the
// copies of the chosen recordings read, worked out here from the disk's description.

#include "recfs/disk_domain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "disk/drive_table.h"
#include "diskbuilder/disk_builder.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using sample::Recording;

class SectorSet {
 public:
  void add(int64_t first, int64_t count) {
    for (int64_t i = 0; i < count; ++i) sectors_.insert(first + i);
  }
  const std::set<int64_t>& sectors() const { return sectors_; }

 private:
  std::set<int64_t> sectors_;
};

std::vector<const Recording*> listedInSlotOrder(const DiskDescription& disk) {
  const int announced =
      disk.announcedEntries >= 0 ? disk.announcedEntries : static_cast<int>(disk.recordings.size());
  std::vector<const Recording*> listed;
  for (const Recording& recording : disk.recordings)
    if (recording.slot < std::min(announced, sample::kSlotCount)) listed.push_back(&recording);
  std::sort(listed.begin(), listed.end(), [](auto* a, auto* b) { return a->slot < b->slot; });
  return listed;
}

void addRecording(SectorSet& expected, const DiskDescription& disk, const Recording& recording) {
  const int f = disk.fileFatSize;
  expected.add(sample::fileFatSector(disk.model, f, recording.entryNumber), f);
  const auto whole = static_cast<int>(sample::hojinCount(recording));
  for (int k = 1; k <= whole; ++k)
    expected.add(sample::hojinSector(disk, recording, k), sample::kSectorsPerHojin);
  if (const int rest = recording.lengthSectors % sample::kSectorsPerHojin; rest > 0)
    expected.add(sample::hojinSector(disk, recording, whole + 1), rest);
}

// Signature, "file_system.sys", directory head, 3 sectors of each visited slot, the
// A-sector of the first HOJIN of the data area, the file FATs and the A-sectors of the
// first HOJINs of the first 16 list positions (the test of the File-FAT-Size takes
// positions for entry numbers), and for each chosen recording its file FAT and all its
// sectors.
std::set<int64_t> expectedDomain(const DiskDescription& disk, const std::vector<int>& chosen) {
  SectorSet expected;
  const sample::Model model = disk.model;
  const int f = disk.fileFatSize;
  expected.add(sample::kFirstSignatureSector, 16);
  expected.add(sample::kFileSysSector, 1);
  expected.add(sample::directoryHeadSector(model), 1);
  const int announced =
      disk.announcedEntries >= 0 ? disk.announcedEntries : static_cast<int>(disk.recordings.size());
  for (int slot = 0; slot < std::min(announced, sample::kSlotCount); ++slot)
    expected.add(sample::slotSector(model, slot), 3);
  expected.add(sample::dataAreaStart(model, f), 1);
  const std::vector<const Recording*> listed = listedInSlotOrder(disk);
  for (int position = 0; position < std::min<int>(16, listed.size()); ++position) {
    expected.add(sample::fileFatSector(model, f, position), f);
    for (const Recording& recording : disk.recordings)
      if (recording.entryNumber == position)
        expected.add(sample::hojinSector(disk, recording, 1), 1);
  }
  for (const Recording& recording : disk.recordings)
    if (std::count(chosen.begin(), chosen.end(), recording.entryNumber) > 0)
      addRecording(expected, disk, recording);
  return expected.sectors();
}

std::set<int64_t> expand(const SectorRanges& ranges) {
  SectorSet set;
  for (const auto& [first, end] : ranges.ranges()) set.add(first, end - first);
  return set.sectors();
}

DiskDescription tevionDisk() {
  DiskDescription disk;
  disk.model = sample::Model::Tevion;
  disk.fileFatSize = 3;
  disk.announcedEntries = 3;
  disk.emptySlots = {1};
  Recording first;
  first.slot = 0;
  first.entryNumber = 0;
  first.title = "Eins";
  first.lengthSectors = 65 * 20 + 7;
  first.durationMs = 60000;
  first.blocks = {3, 9};
  Recording second;
  second.slot = 2;
  second.entryNumber = 1;
  second.title = "Zwei";
  second.lengthSectors = 65 * 3;
  second.durationMs = 10000;
  second.blocks = {5};
  disk.recordings = {first, second};
  return disk;
}

struct DomainCase {
  const char* name;
  DiskDescription disk;
  std::vector<int> chosen;
};

class DiskDomainTest : public ::testing::TestWithParam<DomainCase> {
 protected:
  void TearDown() override { DriveTable::useMachineDisks(); }
};

TEST_P(DiskDomainTest, HoldsExactlyTheSectorsThatListingAndCopyingRead) {
  const DomainCase& c = GetParam();
  test::TempDir folder;
  const std::string image = folder.file("disk.img");
  sample::buildDisk(c.disk, image);
  DriveTable::usePaths({image});
  std::unique_ptr<Fsr5000Disk> disk;
  if (c.disk.model == sample::Model::Tevion)
    disk = std::make_unique<Pvr8005Disk>('0');
  else
    disk = std::make_unique<Fsr5000Disk>('0');
  ASSERT_TRUE(disk->readDirectory(false));
  ASSERT_EQ(disk->getSizeFileFAT(), c.disk.fileFatSize);

  DomainOptions options;
  for (const auto& entry : disk->getEntries())
    if (std::count(c.chosen.begin(), c.chosen.end(), entry->getEntryNumber()) > 0)
      options.recordings.push_back(entry.get());
  ASSERT_EQ(options.recordings.size(), c.chosen.size());
  const DiskDomain domain = computeDiskDomain(*disk, options);

  EXPECT_EQ(domain.fileFatSize, c.disk.fileFatSize);
  EXPECT_TRUE(domain.unlocatedEntries.empty());
  EXPECT_EQ(expand(domain.sectors), expectedDomain(c.disk, c.chosen));
  // Ranges that touch are merged: no range ends where the next begins.
  int64_t previousEnd = -1;
  for (const auto& [first, end] : domain.sectors.ranges()) {
    EXPECT_GT(first, previousEnd);
    previousEnd = end;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Disks, DiskDomainTest,
    ::testing::Values(DomainCase{"DemoAll", sample::demoDisk(), {0, 1, 2, 3, 4}},
                      DomainCase{"DemoTwo", sample::demoDisk(), {1, 2}},
                      DomainCase{"DemoDirectoryOnly", sample::demoDisk(), {}},
                      DomainCase{"Tevion", tevionDisk(), {0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DiskDomainMetadata, WithoutHojinsHoldsTheProbeSectorAndEveryListedFileFat) {
  test::TempDir folder;
  const std::string image = folder.file("disk.img");
  DiskDescription description = sample::demoDisk();
  // Entry number 9 in slot 3: its file FAT lies in region 10, beyond the tested positions.
  description.recordings[3].entryNumber = 9;
  sample::buildDisk(description, image);
  DriveTable::usePaths({image});
  Fsr5000Disk disk('0');
  ASSERT_TRUE(disk.readDirectory(false));
  ASSERT_EQ(disk.getSizeFileFAT(), 72);
  DomainOptions options;
  options.verificationHojins = false;
  options.allFileFats = true;
  const DiskDomain domain = computeDiskDomain(disk, options);
  DriveTable::useMachineDisks();

  SectorSet expected;
  expected.add(16, 16);
  expected.add(307489, 1);
  expected.add(sample::directoryHeadSector(sample::Model::Fsr5000), 1);
  for (int slot = 0; slot < 5; ++slot)
    expected.add(sample::slotSector(sample::Model::Fsr5000, slot), 3);
  expected.add(sample::dataAreaStart(sample::Model::Fsr5000, 72), 1);
  for (int region : {0, 1, 2, 3, 4, 9})  // positions 0 ... 4, and the entry numbers
    expected.add(sample::fileFatSector(sample::Model::Fsr5000, 72, region), 72);
  EXPECT_EQ(expand(domain.sectors), expected.sectors());
}

}  // namespace
}  // namespace korvelo
