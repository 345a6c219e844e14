// SPDX-License-Identifier: GPL-3.0-or-later
// The file FATs of a run of recordings, read before the first of them is copied: the
// file-FAT area lies near the start of the disk and the recordings all over it, so reading
// each file FAT when its recording comes up sends the heads back there and out again for
// every recording.

#include <algorithm>
#include <map>
#include <memory>

#include "disk/ahead_read.h"
#include "recfs/fat_cache.h"

namespace korvelo {
namespace {

// Block numbers to hold for the recording: its whole HOJINs and the sectors after them,
// which lie where HOJIN N + 1 would begin.
int64_t blocksNeeded(const DirectoryEntry& entry) {
  return int64_t{entry.getNumberOfHojins()} / kHojinsPerBlock + 1;
}

}  // namespace

void Fsr5000Disk::readFileFatsAhead(const std::vector<const DirectoryEntry*>& recordings) {
  cache_->ahead.clear();
  const int size = fileFatSize;
  if (size <= 0 || size > kLargestReadableFatSize) return;
  std::map<int, int64_t> wanted;  // entry number: blocks needed
  for (const DirectoryEntry* entry : recordings) {
    const int number = entry->getEntryNumber();
    if (number > kMaxEntryNumber) continue;  // its file FAT would lie in the data area
    wanted[number] = std::max(wanted[number], blocksNeeded(*entry));
  }
  if (wanted.size() < 2) return;  // one file FAT costs one read either way
  cache_->aheadFileFatSize = size;

  // Recordings do not share blocks: an honest disk never needs more block numbers than a
  // file FAT has bits. File FATs beyond that (a hostile or damaged FAT area) are not kept.
  int64_t budget = int64_t{size} * kSectorSize * 8;
  const int fatsPerRequest = std::max(1, static_cast<int>(kLargestAheadBytes / kSectorSize / size));
  const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(
      static_cast<size_t>(fatsPerRequest) * size * kSectorSize);
  for (auto first = wanted.begin(); first != wanted.end();) {
    // File FATs of entries numbered one after the other lie one after the other.
    auto end = std::next(first);
    int count = 1;
    while (end != wanted.end() && count < fatsPerRequest &&
           end->first == std::prev(end)->first + 1) {
      ++end;
      ++count;
    }
    const std::optional<int64_t> sector = layout_.fileFatSector(first->first, size);
    if (!sector || !drive.readSectorInto(*sector, count * size, buffer.get())) return;
    int index = 0;
    for (auto it = first; it != end; ++it, ++index) {
      const std::span<const uint8_t> bytes(buffer.get() + size_t(index) * size * kSectorSize,
                                           static_cast<size_t>(size) * kSectorSize);
      FileFat fat(bytes, std::min(it->second, budget + 1));
      if (fat.keptBitCount() > budget) return;
      budget -= fat.keptBitCount();
      cache_->ahead.emplace(it->first, std::move(fat));
    }
    first = end;
  }
}

}  // namespace korvelo
