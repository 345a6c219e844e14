// SPDX-License-Identifier: GPL-3.0-or-later
// The file FATs of a run of recordings, read before the first of them is copied: the
// file-FAT area lies near the start of the disk and the recordings all over it, so reading
// each file FAT when its recording comes up sends the heads back there and out again for
// every recording. The pass reads every recording's file FAT, not only the run's: what the
// others name is what a recording of the run is held against before it is saved.

#include <algorithm>
#include <map>

#include "recfs/block_ownership.h"
#include "recfs/fat_cache.h"

namespace korvelo {
namespace {

// Block numbers to hold for the recording: its whole HOJINs and the sectors after them,
// which lie where HOJIN N + 1 would begin.
int64_t blocksNeeded(const DirectoryEntry& entry) {
  return int64_t{entry.getNumberOfHojins()} / kHojinsPerBlock + 1;
}

}  // namespace

BlockOwnership Fsr5000Disk::readFileFatsAhead(
    const std::vector<const DirectoryEntry*>& recordings) {
  cache_->ahead.clear();
  const int size = fileFatSize;
  if (size <= 0 || size > kLargestReadableFatSize) return {};
  std::map<int, int64_t> wanted;  // entry number: blocks needed
  for (const DirectoryEntry* entry : recordings) {
    const int number = entry->getEntryNumber();
    if (number > kMaxEntryNumber) continue;  // its file FAT would lie in the data area
    wanted[number] = std::max(wanted[number], blocksNeeded(*entry));
  }
  cache_->aheadFileFatSize = size;

  // Recordings do not share blocks: an honest disk never needs more block numbers than a
  // file FAT has bits. File FATs beyond that (a hostile or damaged FAT area) are not kept.
  int64_t budget = int64_t{size} * kSectorSize * 8;
  return buildBlockOwnership(*this, [&](const BlockOwnership&, const OwnedRecording& recording,
                                        const std::vector<int64_t>& blocks) {
    const auto want = wanted.find(recording.entryNumber);
    if (want == wanted.end() || !recording.fatRead || budget < 0) return;
    FileFat fat(int64_t{size} * kSectorSize, blocks, std::min(want->second, budget + 1));
    budget -= fat.keptBitCount();
    if (budget < 0) return;
    cache_->ahead.emplace(want->first, std::move(fat));
    wanted.erase(want);  // an entry number in two slots names one file FAT
  });
}

}  // namespace korvelo
