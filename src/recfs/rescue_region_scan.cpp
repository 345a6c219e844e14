// SPDX-License-Identifier: GPL-3.0-or-later
// The region scan: every file FAT 1 ... 2000 is read; one with set bits whose entry
// number the directory does not list is a recording the directory lost. Its length
// comes from the HOJIN heads along its blocks, since its entry image is gone.

#include <algorithm>
#include <climits>
#include <set>

#include "disk/text.h"
#include "recfs/file_fat.h"
#include "recfs/hojin_buffer.h"
#include "recfs/rescue_scan.h"
#include "recfs/rescue_scan_support.h"

namespace korvelo {
namespace {

constexpr int kProgressEveryRegions = 50;

std::set<int> listedEntryNumbers(const Fsr5000Disk& disk) {
  std::set<int> listed;
  for (const auto& entry : disk.getEntries()) listed.insert(entry->getEntryNumber());
  return listed;
}

std::vector<int64_t> blocksOf(const FileFat& fat) {
  std::vector<int64_t> blocks;
  blocks.reserve(static_cast<size_t>(fat.setBitCount()));
  for (int64_t ordinal = 1; ordinal <= fat.setBitCount(); ++ordinal)
    blocks.push_back(fat.findBlock(ordinal).bitNumber - 1);
  return blocks;
}

// Counts the HOJINs from 1 on whose heads carry the signature and their own number in
// both places, reading only A-sectors; stops at the first that does not.
void countHojinsByHeads(PhysicalDrive& drive, RescuedRecording& recording) {
  HojinBuffer head;
  const int64_t available =
      int64_t{kHojinsPerBlock} * static_cast<int64_t>(recording.blocks.size());
  recording.hojins = static_cast<int>(std::min<int64_t>(available, INT32_MAX));
  int counted = 0;
  for (int k = 1; k <= recording.hojins; ++k) {
    const int64_t sector = recording.sectorOfHojin(k);
    if (sector < 0 || !drive.readSectorInto(sector, 1, head.getData())) break;
    if (k == 1) recording.startMarked = head.hasSignature() && head.isRecordingStart();
    if (!headCarriesNumber(head, static_cast<uint32_t>(k))) break;
    counted = k;
  }
  recording.hojins = counted;
  recording.headsEndEarly =
      int64_t{counted} <=
      int64_t{kHojinsPerBlock} * (static_cast<int64_t>(recording.blocks.size()) - 1);
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
    const FileFat fat(std::move(bytes), int64_t{size} * kSectorSize);
    if (fat.setBitCount() == 0) continue;
    if (fat.setBitCount() > kMostRescuedBlocks - blocksKept) {
      result.atBlockBound = true;
      break;
    }
    blocksKept += fat.setBitCount();
    RescuedRecording recording;
    recording.id = entryNumber;
    recording.method = RescueMethod::FileFatRegions;
    recording.region = region;
    recording.dataAreaStart = layout.dataAreaStart(size);
    recording.blocks = blocksOf(fat);
    countHojinsByHeads(drive, recording);
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
  return result;
}

}  // namespace korvelo
