// SPDX-License-Identifier: GPL-3.0-or-later
// A directory full of rubbish, or on an image that ends inside it: the read visits only
// the slots it may visit, every accessor stays inside the entry image, and a slot
// that cannot be read ends the read with its message.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "disk/text.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/status_text.h"
#include "support/hardening_fixture.h"

namespace korvelo::test {
namespace {

constexpr int64_t kDirectoryHead = 6598688;
constexpr int64_t kFirstSlot = 6598704;
constexpr int64_t kLastSlot = 6662672;

std::vector<uint8_t> garbage(std::mt19937& random, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  if (bytes[0] == 0xFF && bytes[1] == 0xFF) bytes[1] = 0x00;  // never an empty slot
  return bytes;
}

sample::DiskDescription rubbishDirectory() {
  sample::DiskDescription disk;
  disk.directoryHeadPresent = false;
  disk.probeMarker = false;
  disk.rawSectors.push_back({kDirectoryHead, {0xFF, 0xFF}});
  std::mt19937 random(20240607);
  for (int slot = 0; slot < 2000; ++slot)
    disk.rawSectors.push_back(slotPoke(slot, garbage(random, 1536)));
  // Full slots right behind the last one must stay unread.
  disk.rawSectors.push_back({kLastSlot + 32, std::vector<uint8_t>(1536, 0x41)});
  return disk;
}

TEST(DirectoryHardening, CountOf65535VisitsExactly2000SlotsOfRubbish) {
  HardeningDisk image(rubbishDirectory());
  Fsr5000Disk recorder('0');
  EXPECT_EQ(recorder.getNumberOfEntries(), 65535);
  image.clearReads();

  ASSERT_TRUE(recorder.readDirectory(false));
  EXPECT_EQ(statusText(), "Lese HAV-Verzeichnis...");
  const auto& entries = recorder.getEntries();
  ASSERT_EQ(entries.size(), 2000u);
  EXPECT_EQ(entries.front()->getSector(), kFirstSlot);
  EXPECT_EQ(entries.back()->getSector(), kLastSlot);

  std::set<int64_t> slotsRead;
  for (int64_t sector : image.reads()) {
    if (sector >= kFirstSlot) slotsRead.insert(sector);
    EXPECT_LE(sector, kLastSlot + 2) << "read behind the last slot";
  }
  EXPECT_EQ(slotsRead.size(), 2000u);
}

TEST(DirectoryHardening, AccessorsOfRubbishStayInsideTheImage) {
  HardeningDisk image(rubbishDirectory());
  Fsr5000Disk recorder('0');
  ASSERT_TRUE(recorder.readDirectory(false));
  for (const auto& entry : recorder.getEntries()) {
    const uint8_t* bytes = entry->getData();
    EXPECT_EQ(entry->getEntryNumber(), (bytes[0] << 8) | bytes[1]);
    const std::string title = entry->getTitle();
    EXPECT_LE(title.size(), 36u);
    EXPECT_EQ(title, std::string(reinterpret_cast<const char*>(bytes + 4), title.size()));
    EXPECT_LE(entry->getSecondText().size(), 1356u);
    const uint32_t length =
        (uint32_t{bytes[148]} << 24) | (bytes[149] << 16) | (bytes[150] << 8) | bytes[151];
    EXPECT_EQ(entry->getSizeInBytes(), uint64_t{length} * 512);
    EXPECT_EQ(entry->getNumberOfHojins(), length / 65);
    const StartTime start = entry->getStartTime();
    EXPECT_TRUE(start.year >= 1901 && start.year <= 2038) << start.year;
    EXPECT_TRUE(start.month >= 1 && start.month <= 12);
    EXPECT_TRUE(start.day >= 1 && start.day <= 31);
    EXPECT_TRUE(start.weekday >= 1 && start.weekday <= 7);
    for (char c : filterPrintable(title)) EXPECT_GE(static_cast<unsigned char>(c) & 0x7F, 32);
  }
}

// The largest stamp and duration: both wrap in 32 bits, the start still has a date.
TEST(DirectoryHardening, StampAndDurationAtTheirLimitsGiveADate) {
  sample::Recording recording = recordingAt(0, {0}, 65);
  recording.stampDay = 0xFFFFFFFF;
  recording.stampHour = 0xFFFF;
  recording.stampMinute = 0xFFFF;
  recording.durationMs = 0xFFFFFFFF;
  sample::DiskDescription disk;
  disk.recordings = {recording};
  HardeningDisk image(disk);
  Fsr5000Disk recorder('0');
  ASSERT_TRUE(recorder.readDirectory(false));
  const DirectoryEntry& entry = *recorder.getEntries().at(0);
  // ((0xFFFFFFFF - 40587) x 1440 + 65535 x 60 + 65535) x 60 modulo 2^32, as signed.
  const uint32_t wrapped = ((0xFFFFFFFFu - 40587u) * 1440u + 65535u * 60u + 65535u) * 60u;
  EXPECT_EQ(entry.getStampTime(), static_cast<int32_t>(wrapped));
  const StartTime start = entry.getStartTime();
  EXPECT_TRUE(start.year >= 1901 && start.year <= 2038) << start.year;
}

// The image ends one sector into slot 3's entry image: slot 3 lacks two sectors of its
// image and slot 4 lies wholly past the end; both are reported as unreadable, not listed
// with zeros for the missing part.
TEST(DirectoryHardening, ImageEndingInsideTheDirectory) {
  sample::DiskDescription disk;
  for (int slot = 0; slot < 5; ++slot)
    disk.recordings.push_back(recordingAt(slot, {uint32_t(slot)}, 65));
  const int64_t slot3 = kFirstSlot + 3 * 32;
  HardeningDisk image(disk, (slot3 + 1) * 512);
  Fsr5000Disk recorder('0');

  EXPECT_FALSE(recorder.readDirectory(false));
  std::string expected = "Lese HAV-Verzeichnis...";
  for (const int64_t slot : {slot3, slot3 + 32})
    expected += "\r\n  Konnte Sektor " + std::to_string(slot) + "l (0x" +
                textf("%08X", unsigned(slot)) + ") nicht lesen.";
  EXPECT_EQ(statusText(), expected);
  EXPECT_EQ(recorder.getEntries().size(), 3u);
  EXPECT_EQ(recorder.getUnreadableSlots(), 2);
}

TEST(DirectoryHardening, ImageEndingBeforeTheDirectoryHead) {
  sample::DiskDescription disk;
  disk.recordings.push_back(recordingAt(0, {0}, 65));
  HardeningDisk image(disk, kDirectoryHead * 512);
  Fsr5000Disk recorder('0');
  EXPECT_EQ(recorder.getNumberOfEntries(), -1);
  EXPECT_TRUE(recorder.readDirectory(false));
  EXPECT_TRUE(recorder.getEntries().empty());
  EXPECT_EQ(statusText(), "Lese HAV-Verzeichnis...");
}

}  // namespace
}  // namespace korvelo::test
