// SPDX-License-Identifier: GPL-3.0-or-later
// HOJIN location over a fuzzed file FAT, File-FAT-Size, entry and HOJIN numbers: every
// answer must equal a plain bit-by-bit scan of the same bytes, entry numbers outside
// 0 ... 1999 and HOJIN numbers below 1 must give -1 without reading the disk, and a
// cached file FAT must answer exactly as a freshly read one.

#include <climits>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_disk.h"
#include "recfs/disk_layout.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/status_text.h"

using namespace korvelo;
using korvelo::fuzz::FuzzDisk;
using korvelo::fuzz::InputReader;

namespace {

constexpr int64_t kFullDiskBytes = 160039272960LL;
constexpr int64_t kLargestReadableFatSize = INT_MAX / 512;

// The file FAT as the disk holds it, or nothing when its read would fail.
std::optional<std::vector<uint8_t>> fileFatOnDisk(const FuzzDisk& disk, int64_t sector, int size) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size) * 512);
  int64_t done = 0;
  while (done < static_cast<int64_t>(bytes.size())) {
    const int64_t got = disk.read(sector * 512 + done, std::span(bytes).subspan(size_t(done)));
    if (got <= 0) return std::nullopt;  // unreadable, or cut by the end of the disk
    done += got;
  }
  return bytes;
}

// The HOJIN's first sector by scanning bit by bit, most significant bit first.
int64_t referenceSector(const std::vector<uint8_t>& fat, const DiskLayout& layout, int size,
                        int k) {
  const int64_t target = (int64_t{k} - 1) / 16 + 1;
  int64_t counted = 0;
  for (size_t byte = 0; byte < fat.size(); ++byte) {
    if (fat[byte] == 0) continue;
    for (int bit = 7; bit >= 0; --bit) {
      if (!(fat[byte] & (1u << bit)) || ++counted < target) continue;
      const int64_t j = 8 * int64_t(byte) + (8 - bit);
      return layout.dataAreaStart(size) + 65 * (16 * (j - 1) + (k - 1) % 16);
    }
  }
  return -1;
}

int64_t setBits(const std::vector<uint8_t>& fat) {
  int64_t count = 0;
  for (uint8_t byte : fat) count += __builtin_popcount(byte);
  return count;
}

void checkTrace(int64_t result) {
  const std::string& status = statusText();
  const std::string last = "DEBUG gSNOH: nSectorOfHojin = " + std::to_string(result);
  KORVELO_FUZZ_CHECK(status.size() >= last.size() &&
                     status.compare(status.size() - last.size(), last.size(), last) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader input(data, size);
  const uint8_t flags = input.u8();
  const DiskLayout& layout = (flags & 1) ? kPvr8005Layout : kFsr5000Layout;
  const uint16_t sizeSelector = input.u16();
  const uint32_t hugeSize = input.u32();
  // Small sizes keep the input's bytes a large part of the file FAT; flag 0x20 takes
  // sizes up to 298 (real disks have 72 and more). -1 makes the location probe the disk.
  int fatSize = static_cast<int>(sizeSelector % ((flags & 0x20) ? 300 : 10)) - 1;
  // Absurd manual values: too large to read, never allocated.
  if (flags & 2)
    fatSize = static_cast<int>(kLargestReadableFatSize + 1 +
                               hugeSize % (INT_MAX - kLargestReadableFatSize));
  const int entryNumber = static_cast<int16_t>(input.u16());
  const int hojinNumber = static_cast<int32_t>(input.u32());

  const bool entryInRange = entryNumber >= 0 && entryNumber <= 1999;
  const int64_t fatSector = layout.fatAreaStart + (int64_t{entryNumber} + 1) * fatSize;
  // The disk may end inside the file FAT, so that it cannot be read.
  int64_t diskBytes = (flags & 8) && entryInRange && fatSize > 0
                          ? fatSector * 512 + input.u16() * int64_t{64}
                          : kFullDiskBytes;
  // The probe of an unset size would read 255 empty HOJINs; a disk without a data area
  // answers it as quickly (the probe has its own target).
  if (fatSize < 0) diskBytes = layout.fatAreaStart * 512;
  auto disk = std::make_shared<FuzzDisk>(diskBytes);
  if (entryInRange && fatSize > 0) disk->put(fatSector * 512, input.rest());
  if ((flags & 4) && entryInRange && fatSize > 0) {
    const int64_t bad = fatSector + (flags >> 4) % fatSize;
    disk->failBetween(bad * 512, bad * 512 + 512);
  }
  const korvelo::fuzz::InstalledDisk installed(disk);

  std::unique_ptr<Fsr5000Disk> recorder =
      (flags & 1) ? std::make_unique<Pvr8005Disk>('0') : std::make_unique<Fsr5000Disk>('0');
  if (fatSize < 0) {
    recorder->getSizeFileFAT();  // an empty disk: no size found
    KORVELO_FUZZ_CHECK(recorder->getSectorNumberOfHojin(entryNumber, hojinNumber) == -1);
    return 0;
  }
  recorder->setSizeFileFAT(fatSize);

  if (!entryInRange || hojinNumber <= 0 || fatSize == 0 || fatSize > kLargestReadableFatSize) {
    const int64_t readsBefore = disk->readCalls();
    KORVELO_FUZZ_CHECK(recorder->getSectorNumberOfHojin(entryNumber, hojinNumber) == -1);
    KORVELO_FUZZ_CHECK(disk->readCalls() == readsBefore);
    return 0;
  }

  const std::optional<std::vector<uint8_t>> fat = fileFatOnDisk(*disk, fatSector, fatSize);
  const int64_t lastHojin = fat ? std::min<int64_t>(setBits(*fat) * 16, INT_MAX) : 1;
  const int asked[] = {hojinNumber,
                       1,
                       16,
                       17,
                       static_cast<int>(lastHojin),
                       static_cast<int>(std::min<int64_t>(lastHojin + 1, INT_MAX))};
  int64_t expected[std::size(asked)];
  for (size_t i = 0; i < std::size(asked); ++i) {
    if (asked[i] <= 0) continue;
    expected[i] = fat ? referenceSector(*fat, layout, fatSize, asked[i]) : -1;
  }
  for (int pass = 0; pass < 2; ++pass) {  // the second pass is served from the cache
    for (size_t i = 0; i < std::size(asked); ++i) {
      if (asked[i] <= 0) continue;
      const int64_t result = recorder->getSectorNumberOfHojin(entryNumber, asked[i]);
      KORVELO_FUZZ_CHECK(result == expected[i]);
      if (asked[i] == 1 && result >= 0) checkTrace(result);
    }
  }
  return 0;
}
