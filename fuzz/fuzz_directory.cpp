// SPDX-License-Identifier: GPL-3.0-or-later
// Directory head and slots from fuzzed bytes: readDirectory must visit exactly the
// slots the head announces (at most 2000), count and pass over the unreadable ones (also
// those the end of the disk cuts), list every other non-empty image byte for byte, and
// every accessor must stay inside the image.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "disk/text.h"
#include "fuzz_disk.h"
#include "recfs/directory_entry.h"
#include "recfs/disk_layout.h"
#include "recfs/fsr5000_disk.h"

using namespace korvelo;
using korvelo::fuzz::FuzzDisk;
using korvelo::fuzz::InputReader;

namespace {

constexpr int64_t kFullDiskBytes = 160039272960LL;

struct Expected {
  std::vector<int64_t> sectors;  // of the slots that must be listed, in order
  int unreadable = 0;
};

// The entry image of a slot as the drive delivers it: whole, or not at all when a
// sector is unreadable or lies past the end of the disk.
bool readImage(const FuzzDisk& disk, int64_t sector, uint8_t* image) {
  return disk.read(sector * 512, std::span(image, kEntryImageBytes)) == kEntryImageBytes;
}

// What the directory should hold, worked out straight from the disk's bytes.
Expected expectedDirectory(const FuzzDisk& disk, const DiskLayout& layout, int announced) {
  Expected expected;
  const int visited = std::min(announced, kSlotCount);
  uint8_t image[kEntryImageBytes];
  for (int slot = 0; slot < visited; ++slot) {
    const int64_t sector = layout.firstSlot + int64_t{kSlotSectors} * slot;
    if (!readImage(disk, sector, image)) {
      ++expected.unreadable;
      continue;
    }
    if (image[0] == 0xFF && image[1] == 0xFF) continue;
    expected.sectors.push_back(sector);
  }
  return expected;
}

void checkText(const std::string& raw, size_t limit) {
  KORVELO_FUZZ_CHECK(raw.size() <= limit);
  KORVELO_FUZZ_CHECK(raw.find('\0') == std::string::npos);
  const std::string shown = filterPrintable(raw);
  KORVELO_FUZZ_CHECK(shown.size() <= std::min<size_t>(raw.size(), 512));
  for (char c : shown) KORVELO_FUZZ_CHECK((static_cast<unsigned char>(c) & 0x7F) >= 32);
  const std::string utf8 = latin1ToUtf8(shown);
  size_t high = 0;
  for (char c : shown) high += static_cast<unsigned char>(c) >= 0x80;
  KORVELO_FUZZ_CHECK(utf8.size() == shown.size() + high);
}

void checkEntry(const DirectoryEntry& entry, const uint8_t* image) {
  KORVELO_FUZZ_CHECK(entry.getSize() == kEntryImageBytes);
  KORVELO_FUZZ_CHECK(std::memcmp(entry.getData(), image, kEntryImageBytes) == 0);
  KORVELO_FUZZ_CHECK(entry.getEntryNumber() == ((image[0] << 8) | image[1]));
  checkText(entry.getTitle(), 36);
  checkText(entry.getSecondText(), kEntryImageBytes - 180);
  const uint32_t length = entry.getLengthInSectors();
  KORVELO_FUZZ_CHECK(entry.getSizeInBytes() == uint64_t{length} * 512);
  KORVELO_FUZZ_CHECK(entry.getNumberOfHojins() == length / 65);
  (void)entry.getDurationMs();
  (void)entry.getStampTime();
  const StartTime start = entry.getStartTime();
  KORVELO_FUZZ_CHECK(start.year >= 1901 && start.year <= 2038);
  KORVELO_FUZZ_CHECK(start.month >= 1 && start.month <= 12);
  KORVELO_FUZZ_CHECK(start.day >= 1 && start.day <= 31);
  KORVELO_FUZZ_CHECK(start.hour >= 0 && start.hour <= 23);
  KORVELO_FUZZ_CHECK(start.minute >= 0 && start.minute <= 59);
  KORVELO_FUZZ_CHECK(start.weekday >= 1 && start.weekday <= 7);
}

void checkListing(const Fsr5000Disk& recorder, const FuzzDisk& disk, const Expected& expected) {
  const auto& entries = recorder.getEntries();
  KORVELO_FUZZ_CHECK(entries.size() == expected.sectors.size());
  uint8_t image[kEntryImageBytes];
  for (size_t i = 0; i < entries.size(); ++i) {
    KORVELO_FUZZ_CHECK(entries[i]->getSector() == expected.sectors[i]);
    KORVELO_FUZZ_CHECK(readImage(disk, expected.sectors[i], image));
    // The input fills at most the first slots; the rest are zeros, all alike.
    if (i < 16) {
      checkEntry(*entries[i], image);
    } else {
      KORVELO_FUZZ_CHECK(std::memcmp(entries[i]->getData(), image, kEntryImageBytes) == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader input(data, size);
  const uint8_t flags = input.u8();
  const bool tevion = flags & 1;
  const DiskLayout& layout = tevion ? kPvr8005Layout : kFsr5000Layout;
  // Most inputs announce a few slots: a count of 2000 and more makes every input visit
  // all 2000 slots, which costs a hundred times as much, so it needs flags 0xC0.
  const uint16_t rawCount = input.u16();
  const uint16_t announced = (flags & 0xC0) == 0xC0 ? rawCount : rawCount % 40;
  const uint32_t cut = input.u32();
  const uint16_t failingSlot = input.u16();

  // The disk may end anywhere from the head to just past the last slot.
  const int64_t directoryBytes = (layout.lastSlot + kSlotSectors - layout.directoryHead + 2) * 512;
  const int64_t diskBytes =
      (flags & 2) ? layout.directoryHead * 512 + int64_t{cut} % directoryBytes : kFullDiskBytes;
  auto disk = std::make_shared<FuzzDisk>(diskBytes);
  disk->put(layout.directoryHead * 512,
            std::vector<uint8_t>{uint8_t(announced >> 8), uint8_t(announced)});
  for (int slot = 0; slot < kSlotCount && !input.rest().empty(); ++slot) {
    disk->put((layout.firstSlot + int64_t{kSlotSectors} * slot) * 512,
              input.bytes(kEntryImageBytes));
  }
  if (flags & 4) {
    const int64_t sector = layout.firstSlot + int64_t{kSlotSectors} * (failingSlot % kSlotCount) +
                           (flags >> 3) % kSlotSectors;
    disk->failBetween(sector * 512, sector * 512 + 512);
  }
  const korvelo::fuzz::InstalledDisk installed(disk);

  std::unique_ptr<Fsr5000Disk> recorder =
      tevion ? std::make_unique<Pvr8005Disk>('0') : std::make_unique<Fsr5000Disk>('0');
  const int headValue = recorder->getNumberOfEntries();
  uint8_t head[512] = {};
  const bool headReadable = disk->read(layout.directoryHead * 512, head) == 512;
  KORVELO_FUZZ_CHECK(headValue == (headReadable ? (head[0] << 8) | head[1] : -1));

  const Expected expected = expectedDirectory(*disk, layout, headValue);
  const bool result = recorder->readDirectory(false);
  KORVELO_FUZZ_CHECK(result == (expected.unreadable == 0));
  KORVELO_FUZZ_CHECK(recorder->getUnreadableSlots() == expected.unreadable);
  KORVELO_FUZZ_CHECK(recorder->isDirectoryRead());
  checkListing(*recorder, *disk, expected);

  // A second read reads nothing and gives the same answer, unreadable slots or not.
  const int64_t readsBefore = disk->readCalls();
  KORVELO_FUZZ_CHECK(recorder->readDirectory(false) == result);
  KORVELO_FUZZ_CHECK(disk->readCalls() == readsBefore);
  checkListing(*recorder, *disk, expected);
  return 0;
}
