// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/block_ownership.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>

#include "disk/ahead_read.h"
#include "recfs/fat_cache.h"

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
std::vector<int64_t> blocksOf(std::span<const uint8_t> bytes) {
  std::vector<int64_t> blocks;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 0) continue;
    for (int bit = 7; bit >= 0; --bit)
      if ((bytes[i] >> bit) & 1) blocks.push_back(8 * static_cast<int64_t>(i) + (7 - bit));
  }
  return blocks;
}

OwnedRecording describe(const Fsr5000Disk& disk, const DirectoryEntry& entry, int size) {
  OwnedRecording recording;
  recording.entry = &entry;
  recording.entryNumber = entry.getEntryNumber();
  recording.slot = slotOf(disk, entry);
  recording.blocksNeeded =
      (int64_t{entry.getLengthInSectors()} + kSectorsPerBlock - 1) / kSectorsPerBlock;
  const auto fatSector = disk.layout().fileFatSector(recording.entryNumber, size);
  recording.fatInRegions = recording.entryNumber <= kMaxEntryNumber && fatSector.has_value();
  // A blank slot's entry number 0 is no recording's: it owns nothing.
  if (recording.fatInRegions && !entry.isBlank()) recording.fatSector = *fatSector;
  return recording;
}

// The file FATs of following entry numbers lie one after the other: they are read in runs
// of up to 1 MiB, each run when its first file FAT is asked for.
class FileFatRuns {
 public:
  // `numbers`: ascending, each once, every one with a file-FAT region.
  FileFatRuns(Fsr5000Disk& disk, int size, std::vector<int> numbers)
      : disk_(disk),
        size_(size),
        fatBytes_(static_cast<size_t>(size) * kSectorSize),
        numbers_(std::move(numbers)),
        perRequest_(std::max<size_t>(1, static_cast<size_t>(kLargestAheadBytes) / fatBytes_)) {}

  // The file FAT of `number`, one of the numbers, asked for in ascending order; empty when
  // it cannot be read.
  std::span<const uint8_t> of(int number) {
    if (size_ > kLargestReadableFatSize) return {};
    if (number < first_ || number >= first_ + static_cast<int>(read_.size())) readRunFrom(number);
    const auto at = static_cast<size_t>(number - first_);
    if (at >= read_.size() || !read_[at]) return {};
    return {buffer_.get() + at * fatBytes_, fatBytes_};
  }

 private:
  void readRunFrom(int number) {
    const auto start = std::lower_bound(numbers_.begin(), numbers_.end(), number);
    auto end = start;
    while (end != numbers_.end() && static_cast<size_t>(end - start) < perRequest_ &&
           *end == number + (end - start))
      ++end;
    first_ = number;
    read_.assign(static_cast<size_t>(end - start), false);
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<uint8_t[]>(perRequest_ * fatBytes_);
    PhysicalDrive& drive = disk_.getDrive();
    const int count = static_cast<int>(read_.size());
    const std::optional<int64_t> sector = disk_.layout().fileFatSector(number, size_);
    if (sector && drive.readSectorInto(*sector, count * size_, buffer_.get())) {
      read_.assign(read_.size(), true);
      return;
    }
    for (int i = 0; count > 1 && i < count; ++i) {
      const std::optional<int64_t> own = disk_.layout().fileFatSector(number + i, size_);
      read_[static_cast<size_t>(i)] =
          own && drive.readSectorInto(*own, size_, buffer_.get() + size_t(i) * fatBytes_);
    }
  }

  Fsr5000Disk& disk_;
  int size_;
  size_t fatBytes_;
  std::vector<int> numbers_;
  size_t perRequest_;  // file FATs in one request
  std::unique_ptr<uint8_t[]> buffer_;
  int first_ = 0;           // entry number of the run in the buffer
  std::vector<bool> read_;  // of the run: whether each file FAT was read
};

}  // namespace

BlockOwnership::BlockOwnership(int64_t dataAreaStart, int64_t blockCount, int64_t blocksBegun)
    : dataAreaStart_(dataAreaStart),
      blocksBegun_(std::max<int64_t>({0, blockCount, blocksBegun})),
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
  // The first claimant learns of the sharing now, every later one when it claims.
  if (owner != kShared) {
    ++sharedCount_;
    noteSharing(owner, block);
  }
  noteSharing(index, block);
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

void BlockOwnership::noteSharing(int index, int64_t block) {
  if (index < 0 || static_cast<size_t>(index) >= recordings_.size()) return;  // no recording
  OwnedRecording& recording = recordings_[static_cast<size_t>(index)];
  ++recording.crossLinkedBlocks;
  if (recording.firstCrossLinkedBlock < 0 || block < recording.firstCrossLinkedBlock)
    recording.firstCrossLinkedBlock = block;
}

const OwnedRecording& BlockOwnership::add(OwnedRecording recording,
                                          const std::vector<int64_t>& blocks) {
  const int index = static_cast<int>(recordings_.size());
  recording.setBits = static_cast<int64_t>(blocks.size());
  recordings_.push_back(recording);
  for (int64_t block : blocks) {
    if (block < blockCount()) {
      claim(block, index);
      continue;
    }
    OwnedRecording& added = recordings_.back();
    if (added.blocksBeyondEnd++ == 0) added.firstBeyondEnd = block;
    if (block >= blocksBegun_ && added.blocksOffDisk++ == 0) added.firstOffDisk = block;
  }
  return recordings_.back();
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
  const int64_t begun =
      sectors < 0 ? bits
                  : std::clamp<int64_t>((sectors - start + kSectorsPerBlock - 1) / kSectorsPerBlock,
                                        0, bits);
  BlockOwnership ownership(start, blocks, begun);
  if (size <= 0) return ownership;

  // In the order of the entry numbers the file FATs lie in: one pass up the file-FAT area.
  std::vector<OwnedRecording> listed;
  for (const auto& entry : disk.getEntries()) listed.push_back(describe(disk, *entry, size));
  std::stable_sort(listed.begin(), listed.end(),
                   [](const auto& a, const auto& b) { return a.entryNumber < b.entryNumber; });
  std::vector<int> numbers;
  for (const OwnedRecording& recording : listed)
    if (recording.fatSector >= 0 && (numbers.empty() || numbers.back() != recording.entryNumber))
      numbers.push_back(recording.entryNumber);
  FileFatRuns fileFats(disk, size, std::move(numbers));

  for (OwnedRecording& recording : listed) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    std::vector<int64_t> owned;
    if (recording.fatSector >= 0) {
      const std::span<const uint8_t> bytes = fileFats.of(recording.entryNumber);
      recording.fatRead = !bytes.empty();
      owned = blocksOf(bytes);
    }
    const OwnedRecording& added = ownership.add(recording, owned);
    if (visit) visit(ownership, added, owned);
  }
  return ownership;
}

}  // namespace korvelo
