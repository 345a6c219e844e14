// SPDX-License-Identifier: GPL-3.0-or-later
// The region scan: every file FAT 1 ... 2000 is read; one with set bits whose entry
// number the directory does not list is a recording the directory lost. Its length
// comes from the HOJIN heads along its blocks, since its entry image is gone.

#include <algorithm>
#include <bit>
#include <climits>
#include <set>

#include "disk/text.h"
#include "recfs/hojin_buffer.h"
#include "recfs/rescue_scan.h"
#include "recfs/rescue_scan_support.h"
#include "recfs/sector_math.h"

namespace korvelo {
namespace {

constexpr int kProgressEveryRegions = 50;

std::set<int> listedEntryNumbers(const Fsr5000Disk& disk) {
  std::set<int> listed;
  for (const auto& entry : disk.getEntries()) listed.insert(entry->getEntryNumber());
  return listed;
}

// The blocks a file FAT names, in bit order: bit 1 (the top bit of byte 0) is block 0.
class NamedBlocks {
 public:
  NamedBlocks(const uint8_t* bytes, int64_t byteCount) : bytes_(bytes), byteCount_(byteCount) {}

  // The next block, or -1 after the last.
  int64_t next() {
    for (; byte_ < byteCount_; ++byte_, bit_ = 0) {
      while (bit_ < 8)
        if ((bytes_[byte_] >> (7 - bit_++)) & 1) return 8 * byte_ + bit_ - 1;
    }
    return -1;
  }

  int64_t count() const {
    int64_t set = 0;
    for (int64_t i = 0; i < byteCount_; ++i) set += std::popcount(bytes_[i]);
    return set;
  }

 private:
  const uint8_t* bytes_;
  int64_t byteCount_;
  int64_t byte_ = 0;
  int bit_ = 0;
};

// Counts the HOJINs from 1 on whose heads carry the signature and their own number in
// both places, reading only A-sectors along the blocks; stops at the first that does not.
// Only the blocks the heads reach are walked: a FAT of random bits names a million.
int countHojinsByHeads(PhysicalDrive& drive, NamedBlocks blocks, int64_t dataAreaStart,
                       bool& startMarked) {
  HojinBuffer head;
  int counted = 0;
  for (int64_t block = blocks.next(); block >= 0 && counted < INT32_MAX; block = blocks.next()) {
    const std::optional<int64_t> blockStart = checkedOffset(dataAreaStart, kSectorsPerBlock, block);
    for (int i = 0; i < kHojinsPerBlock; ++i) {
      const int64_t sector =
          blockStart ? checkedOffset(*blockStart, kSectorsPerHojin, i).value_or(-1) : -1;
      if (sector < 0 || !drive.readSectorInto(sector, 1, head.getData())) return counted;
      if (counted == 0) startMarked = head.hasSignature() && head.isRecordingStart();
      if (!headCarriesNumber(head, static_cast<uint32_t>(counted) + 1)) return counted;
      ++counted;
    }
  }
  return counted;
}

// A find is credible when the heads of its HOJINs reach at least halfway into the blocks
// its file FAT names: a FAT of random bits names blocks everywhere, whose heads (when
// one fits at all) break off after a block or two.
bool credible(int hojins, int64_t blocks) {
  return hojins >= 1 && 2 * int64_t{hojins} > int64_t{kHojinsPerBlock} * (blocks - 1);
}

}  // namespace

RescueScanResult scanFileFatRegions(Fsr5000Disk& disk, const RescueScanOptions& options) {
  RescueScanResult result;
  if (!settleFileFatSizeForRescue(disk, result)) return result;
  const int size = result.fileFatSize;
  const std::set<int> listed = listedEntryNumbers(disk);
  const DiskLayout& layout = disk.layout();
  PhysicalDrive& drive = disk.getDrive();
  ScanProgress progress{0, kMaxEntryNumber + 1, 0};
  int64_t blocksKept = 0;

  for (int region = 1; region <= kMaxEntryNumber + 1; ++region) {
    if (stopRequested(options)) {
      result.interrupted = true;
      break;
    }
    progress.done = region - 1;
    if (options.progress && progress.done % kProgressEveryRegions == 0) options.progress(progress);
    const int entryNumber = region - 1;
    if (listed.count(entryNumber) > 0) continue;
    ++result.scanned;
    const std::optional<int64_t> sector = layout.fileFatSector(entryNumber, size);
    std::unique_ptr<uint8_t[]> bytes = sector ? drive.readSector(*sector, size) : nullptr;
    if (!bytes) {
      ++result.unreadable;
      continue;
    }
    const NamedBlocks named(bytes.get(), int64_t{size} * kSectorSize);
    const int64_t blockCount = named.count();
    if (blockCount == 0) continue;
    if (blockCount > kMostRescuedBlocks - blocksKept) {
      result.atBlockBound = true;
      break;
    }
    RescuedRecording recording;
    recording.dataAreaStart = layout.dataAreaStart(size);
    recording.hojins =
        countHojinsByHeads(drive, named, recording.dataAreaStart, recording.startMarked);
    if (!credible(recording.hojins, blockCount)) {
      ++result.notCredible;
      continue;
    }
    recording.id = entryNumber;
    recording.method = RescueMethod::FileFatRegions;
    recording.region = region;
    recording.blocks.reserve(static_cast<size_t>(blockCount));
    NamedBlocks all = named;
    for (int64_t block = all.next(); block >= 0; block = all.next())
      recording.blocks.push_back(block);
    recording.headsEndEarly =
        int64_t{recording.hojins} <= int64_t{kHojinsPerBlock} * (blockCount - 1);
    blocksKept += blockCount;
    result.recordings.push_back(std::move(recording));
    progress.found = static_cast<int>(result.recordings.size());
  }
  const bool stoppedEarly = result.interrupted || result.atBlockBound;
  progress.done = stoppedEarly ? progress.done : progress.total;
  if (options.progress) options.progress(progress);
  std::string ending;
  if (result.interrupted)
    ending = ", Suche abgebrochen";
  else if (result.atBlockBound)
    ending = textf(", Suche bei %s Blöcken beendet (mehr hält die Suche nicht im Speicher)",
                   formatThousands(kMostRescuedBlocks, '.').c_str());
  result.message = textf("%d verlorene %s in %lld Dateizuordnungstabellen gefunden%s.",
                         progress.found, progress.found == 1 ? "Aufnahme" : "Aufnahmen",
                         static_cast<long long>(result.scanned), ending.c_str());
  if (result.notCredible > 0)
    result.message += textf(
        " %lld %s übergangen: ihre HOJIN-Köpfe reichen nicht bis zur Hälfte der Blöcke, die "
        "sie nennen.",
        static_cast<long long>(result.notCredible),
        result.notCredible == 1 ? "Dateizuordnungstabelle" : "Dateizuordnungstabellen");
  return result;
}

}  // namespace korvelo
