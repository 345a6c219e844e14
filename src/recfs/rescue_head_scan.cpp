// SPDX-License-Identifier: GPL-3.0-or-later
// The head scan: the data area is walked block by block, reading only A-sectors. A
// block counts when its first HOJIN carries a head whose two numbers agree and name
// the first HOJIN of a block (16 m + 1); then the heads of its other 15 HOJINs are
// read to see how far the block is filled. The blocks are chained afterwards.

#include <limits>

#include "disk/text.h"
#include "recfs/rescue_scan.h"
#include "recfs/rescue_scan_support.h"
#include "recfs/sector_math.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

constexpr int64_t kProgressEveryBlocks = 256;

// The sector after the last one the scan may look at; max when the size is unknown
// (the scan then ends at the first read past the end).
int64_t scanEnd(const PhysicalDrive& drive, const RescueScanOptions& options) {
  int64_t end = std::numeric_limits<int64_t>::max();
  const ByteSource* source = drive.source();
  if (source) {
    const MediaInfo info = source->mediaInfo();
    if (info.sizeBytes >= 0) end = info.sizeBytes / kSectorSize;
  }
  if (options.lastSector >= 0 && options.lastSector < end) end = options.lastSector + 1;
  return end;
}

bool isBlockHead(const HojinBuffer& head) {
  if (!head.hasSignature()) return false;
  const uint32_t number = head.getInternalNumber();
  return number == head.getInternalNumber2() && (number - 1) % kHojinsPerBlock == 0;
}

// Reads the heads of HOJINs 2 ... 16 of a block whose first number is known (from its
// first head, or from a later one when the first could not be read).
void readRestOfBlock(PhysicalDrive& drive, int64_t blockStart, HojinBuffer& head, HeadBlock& block,
                     bool firstFits, int64_t& unreadable) {
  int fitting = firstFits ? 1 : 0;
  int lastUnread = -1;  // index of the last head that could not be read
  block.extent = 1;
  for (int i = 1; i < kHojinsPerBlock; ++i) {
    if (!drive.readSectorInto(blockStart + int64_t{kSectorsPerHojin} * i, 1, head.getData())) {
      if (drive.lastError() == kReadPastEndError) break;  // the block runs over the disk's end
      ++unreadable;
      lastUnread = i;
      continue;
    }
    if (!headCarriesNumber(head, block.firstNumber + static_cast<uint32_t>(i))) continue;
    ++fitting;
    block.extent = i + 1;
  }
  block.damagedHeads = block.extent - fitting;
  block.mayContinue = block.extent < kHojinsPerBlock && lastUnread >= block.extent;
}

enum class BlockKind { Empty, Found, Unreadable };

// A block whose first head could not be read: a later head of it that names its place
// tells the block's first number. Unreadable when not one of its heads could be read.
BlockKind findBehindUnreadableHead(PhysicalDrive& drive, int64_t blockStart, int64_t blockNumber,
                                   HojinBuffer& head, HeadBlock& found, int64_t& unreadable) {
  int64_t unread = 1;  // the first head
  bool anyRead = false;
  for (int i = 1; i < kHojinsPerBlock; ++i) {
    if (!drive.readSectorInto(blockStart + int64_t{kSectorsPerHojin} * i, 1, head.getData())) {
      if (drive.lastError() == kReadPastEndError) break;
      ++unread;
      continue;
    }
    anyRead = true;
    const uint32_t number = head.getInternalNumber();
    if (!head.hasSignature() || number != head.getInternalNumber2() ||
        number <= static_cast<uint32_t>(i) || (number - 1 - i) % kHojinsPerBlock != 0)
      continue;
    const uint32_t first = number - static_cast<uint32_t>(i);
    found = HeadBlock{blockNumber, first, first == 1, 1, 0};
    ++unreadable;  // the first head; readRestOfBlock counts the others
    readRestOfBlock(drive, blockStart, head, found, false, unreadable);
    return BlockKind::Found;
  }
  unreadable += unread;
  return anyRead ? BlockKind::Empty : BlockKind::Unreadable;
}

struct BlockWalk {
  std::vector<HeadBlock> blocks;
  bool interrupted = false;
  bool atBound = false;  // stopped at kMostHeadBlocks or kMostHeadStarts
  int64_t scanned = 0;
  int64_t unreadable = 0;
  int64_t unreadableBlocks = 0;  // not one head could be read
};

BlockWalk walkBlocks(PhysicalDrive& drive, int64_t dataStart, int64_t end,
                     const RescueScanOptions& options) {
  BlockWalk walk;
  HojinBuffer head;
  ScanProgress progress;
  progress.total =
      end > dataStart ? (end - dataStart + kSectorsPerBlock - 1) / kSectorsPerBlock : 0;
  if (end == std::numeric_limits<int64_t>::max()) progress.total = 0;  // unknown
  int64_t emptyRun = 0;
  for (int64_t block = 0;; ++block) {
    const std::optional<int64_t> start = checkedOffset(dataStart, kSectorsPerBlock, block);
    if (!start || *start >= end) break;
    if (stopRequested(options)) {
      walk.interrupted = true;
      break;
    }
    if (static_cast<int64_t>(walk.blocks.size()) >= kMostHeadBlocks ||
        progress.found >= kMostHeadStarts) {
      walk.atBound = true;
      break;
    }
    if (options.progress && block % kProgressEveryBlocks == 0) {
      progress.done = block;
      options.progress(progress);
    }
    ++walk.scanned;
    BlockKind kind = BlockKind::Empty;
    HeadBlock found{block, 0, false, 1, 0};
    if (!drive.readSectorInto(*start, 1, head.getData())) {
      if (drive.lastError() == kReadPastEndError) break;  // the end of a disk of unknown size
      kind = findBehindUnreadableHead(drive, *start, block, head, found, walk.unreadable);
      if (kind == BlockKind::Unreadable) ++walk.unreadableBlocks;
    } else if (isBlockHead(head)) {
      found = HeadBlock{block, head.getInternalNumber(), head.isRecordingStart(), 1, 0};
      readRestOfBlock(drive, *start, head, found, true, walk.unreadable);
      kind = BlockKind::Found;
    }
    if (kind == BlockKind::Found) {
      walk.blocks.push_back(found);
      if (found.recordingStart) ++progress.found;
      emptyRun = 0;
      continue;
    }
    if (options.emptyBlockLimit > 0 && ++emptyRun >= options.emptyBlockLimit) break;
  }
  progress.done =
      walk.interrupted || walk.atBound ? walk.scanned : std::max(progress.total, walk.scanned);
  progress.total = std::max(progress.total, progress.done);
  if (options.progress) options.progress(progress);
  return walk;
}

}  // namespace

bool settleFileFatSizeForRescue(Fsr5000Disk& disk, RescueScanResult& result) {
  const std::string kept = statusText();
  const int size = disk.getSizeFileFAT();
  setStatus(kept);
  result.fileFatSize = size;
  if (size <= 0) {
    result.message = "\"File-FAT-Size\" unbekannt: bitte den Wert vorgeben, dann erneut suchen.";
    return false;
  }
  result.ok = true;
  return true;
}

RescueScanResult scanHojinHeads(Fsr5000Disk& disk, const RescueScanOptions& options) {
  RescueScanResult result;
  if (!settleFileFatSizeForRescue(disk, result)) return result;
  const int64_t dataStart = disk.layout().dataAreaStart(result.fileFatSize);
  PhysicalDrive& drive = disk.getDrive();
  const BlockWalk walk = walkBlocks(drive, dataStart, scanEnd(drive, options), options);
  ChainResult chains = chainHeadBlocks(walk.blocks, dataStart, walk.unreadableBlocks);
  result.interrupted = walk.interrupted;
  result.atBlockBound = walk.atBound;
  result.scanned = walk.scanned;
  result.unreadable = walk.unreadable;
  result.unreadableBlocks = walk.unreadableBlocks;
  result.orphanBlocks = chains.orphanBlocks;
  result.recordings = std::move(chains.recordings);
  std::string ending = result.interrupted ? ", Suche abgebrochen" : "";
  if (walk.atBound)
    ending = textf(
        ", Suche bei %s Blöcken mit HOJIN-Köpfen oder %s Aufnahmebeginnen beendet "
        "(mehr hält die Suche nicht im Speicher)",
        formatThousands(kMostHeadBlocks, '.').c_str(),
        formatThousands(kMostHeadStarts, '.').c_str());
  result.message =
      textf("%d %s in %lld Blöcken gefunden%s.", static_cast<int>(result.recordings.size()),
            result.recordings.size() == 1 ? "Aufnahme" : "Aufnahmen",
            static_cast<long long>(result.scanned), ending.c_str());
  if (walk.unreadableBlocks > 0)
    result.message += textf(" %lld %s ohne einen lesbaren HOJIN-Kopf.",
                            static_cast<long long>(walk.unreadableBlocks),
                            walk.unreadableBlocks == 1 ? "Block" : "Blöcke");
  if (result.orphanBlocks > 0)
    result.message += textf(" %lld %s mit HOJIN-Köpfen %s zu keiner Aufnahme.",
                            static_cast<long long>(result.orphanBlocks),
                            result.orphanBlocks == 1 ? "Block" : "Blöcke",
                            result.orphanBlocks == 1 ? "gehört" : "gehören");
  return result;
}

}  // namespace korvelo
