// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/block_ownership.h"

#include <algorithm>

namespace korvelo {
namespace {

int64_t diskSectors(Fsr5000Disk& disk) {
  const ByteSource* source = disk.getDrive().source();
  if (source == nullptr) return -1;
  const int64_t bytes = source->mediaInfo().sizeBytes;
  return bytes < 0 ? -1 : bytes / 512;
}

int slotOf(const Fsr5000Disk& disk, const DirectoryEntry& entry) {
  return static_cast<int>((entry.getSector() - disk.layout().firstSlot) / kSlotSectors);
}

// The blocks of a file FAT in bit order: bit 1 (the top bit of byte 0) is block 0.
std::vector<int64_t> blocksOf(const uint8_t* bytes, int64_t byteCount) {
  std::vector<int64_t> blocks;
  for (int64_t i = 0; i < byteCount; ++i) {
    if (bytes[i] == 0) continue;
    for (int bit = 7; bit >= 0; --bit)
      if ((bytes[i] >> bit) & 1) blocks.push_back(8 * i + (7 - bit));
  }
  return blocks;
}

}  // namespace

BlockOwnership::BlockOwnership(int64_t dataAreaStart, int64_t blockCount)
    : dataAreaStart_(dataAreaStart),
      owners_(static_cast<size_t>(std::max<int64_t>(0, blockCount)), kFree) {}

int64_t BlockOwnership::freeBlocks() const {
  return std::count(owners_.begin(), owners_.end(), kFree);
}

void BlockOwnership::claim(int64_t block, int index) {
  uint16_t& owner = owners_[static_cast<size_t>(block)];
  if (owner == kFree) {
    owner = static_cast<uint16_t>(index);
    return;
  }
  if (owner != kShared) ++sharedCount_;
  const auto named = shared_.find(block);
  if (named == shared_.end() && (owner == kShared || shared_.size() >= kNamedSharedBlocks)) {
    owner = kShared;  // a block whose claimants are beyond the bound
    return;
  }
  std::vector<int>& claimants = named == shared_.end() ? shared_[block] : named->second;
  if (owner != kShared) claimants.push_back(owner);
  if (std::find(claimants.begin(), claimants.end(), index) == claimants.end())
    claimants.push_back(index);
  owner = kShared;
}

BlockOwnership buildBlockOwnership(Fsr5000Disk& disk, const RecordingVisitor& visit,
                                   const std::atomic<bool>* stop) {
  const int size = disk.heldFileFatSize();
  const DiskLayout& layout = disk.layout();
  const int64_t start = layout.dataAreaStart(size);
  const int64_t bits = int64_t{size} * 4096;
  const int64_t sectors = diskSectors(disk);
  const int64_t blocks =
      sectors < 0 ? bits : std::clamp<int64_t>((sectors - start) / kSectorsPerBlock, 0, bits);
  BlockOwnership ownership(start, blocks);
  if (size <= 0) return ownership;

  const auto& entries = disk.getEntries();
  for (size_t index = 0; index < entries.size(); ++index) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    const DirectoryEntry& entry = *entries[index];
    OwnedRecording recording;
    recording.entry = &entry;
    recording.entryNumber = entry.getEntryNumber();
    recording.slot = slotOf(disk, entry);
    recording.blocksNeeded =
        (int64_t{entry.getLengthInSectors()} + kSectorsPerBlock - 1) / kSectorsPerBlock;
    recording.fatInRegions = recording.entryNumber <= kMaxEntryNumber;
    std::vector<int64_t> owned;
    const auto fatSector = layout.fileFatSector(recording.entryNumber, size);
    recording.fatInRegions = recording.fatInRegions && fatSector.has_value();
    // A blank slot's entry number 0 is no recording's: it owns nothing.
    if (recording.fatInRegions && !entry.isBlank()) {
      recording.fatSector = *fatSector;
      const auto bytes = disk.getDrive().readSector(recording.fatSector, size);
      if (bytes) {
        recording.fatRead = true;
        owned = blocksOf(bytes.get(), int64_t{size} * 512);
      }
    }
    recording.setBits = static_cast<int64_t>(owned.size());
    for (int64_t block : owned) {
      if (block < blocks) {
        ownership.claim(block, static_cast<int>(index));
      } else if (recording.blocksBeyondEnd++ == 0) {
        recording.firstBeyondEnd = block;
      }
    }
    ownership.addRecording(recording);
    if (visit) visit(ownership, recording, owned);
  }
  return ownership;
}

}  // namespace korvelo
