// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which recording owns each block of the data area, built by reading every listed
// recording's file FAT once, in one pass up the file-FAT area. One 16-bit owner per block
// (about 600 kB for a 160 GB disk) keeps the memory bounded however many recordings there
// are; the few blocks claimed more than once keep the list of their claimants aside. The
// check reports from it, and an export holds a recording against it before saving.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "recfs/fsr5000_disk.h"

namespace korvelo {

struct OwnedRecording {
  const DirectoryEntry* entry = nullptr;
  int entryNumber = 0;
  int slot = 0;                 // directory slot the entry was read from
  bool fatInRegions = true;     // false: the entry number has no file-FAT region
  bool fatRead = false;         // the file FAT was read
  int64_t fatSector = -1;       // first sector of its file FAT (-1: none)
  int64_t setBits = 0;          // blocks the file FAT names
  int64_t blocksNeeded = 0;     // blocks its length in sectors fills
  int64_t blocksBeyondEnd = 0;  // named blocks that do not lie wholly on the disk
  int64_t firstBeyondEnd = -1;  // the first of them
  // Of those, the blocks not one sector of which is on the disk, and the first of them. An
  // image that ddrescue wrote up to a recording's last sector ends inside its last block.
  int64_t blocksOffDisk = 0;
  int64_t firstOffDisk = -1;
  // Of its blocks on the disk, those another recording names too, and the lowest of them;
  // final only once every recording is in the ownership.
  int64_t crossLinkedBlocks = 0;
  int64_t firstCrossLinkedBlock = -1;

  bool namesSurplusBlocks() const { return setBits > blocksNeeded; }
};

class BlockOwnership {
 public:
  static constexpr uint16_t kFree = 0xFFFF;
  static constexpr uint16_t kShared = 0xFFFE;  // claimed by two or more recordings

  BlockOwnership() = default;
  // `blocksBegun`: the blocks whose first sector lies on the disk (blockCount, or one more
  // when the disk ends inside a block).
  BlockOwnership(int64_t dataAreaStart, int64_t blockCount, int64_t blocksBegun = -1);

  int64_t dataAreaStart() const { return dataAreaStart_; }
  int64_t blockCount() const { return static_cast<int64_t>(owners_.size()); }
  int64_t blockSector(int64_t block) const { return dataAreaStart_ + block * kSectorsPerBlock; }
  // An index into recordings(), kFree or kShared.
  uint16_t ownerOf(int64_t block) const { return owners_[static_cast<size_t>(block)]; }
  // Cross-linked blocks with the indices of every recording claiming them, in list order:
  // the first kNamedSharedBlocks of them. File FATs of random bits would cross-link most
  // blocks of the disk; their claimants are counted, not kept.
  static constexpr size_t kNamedSharedBlocks = 4096;
  const std::map<int64_t, std::vector<int>>& sharedBlocks() const { return shared_; }
  int64_t sharedBlockCount() const { return sharedCount_; }
  const std::vector<OwnedRecording>& recordings() const { return recordings_; }
  int64_t freeBlocks() const;

  // Notes that recording `index` claims `block` (< blockCount()).
  void claim(int64_t block, int index);
  // Adds a recording with the blocks its file FAT names (ascending, also those beyond the
  // disk's end): claims those on the disk and counts the others.
  const OwnedRecording& add(OwnedRecording recording, const std::vector<int64_t>& blocks);

 private:
  void noteSharing(int index, int64_t block);

  int64_t dataAreaStart_ = 0;
  int64_t blocksBegun_ = 0;  // >= owners_.size()
  std::vector<uint16_t> owners_;
  std::map<int64_t, std::vector<int>> shared_;
  int64_t sharedCount_ = 0;  // blocks claimed more than once, named in shared_ or not
  std::vector<OwnedRecording> recordings_;
};

// Called once per listed recording, in the order of their entry numbers, while its blocks
// (ascending, as the file FAT orders them, also those beyond the disk's end) are at hand;
// empty when the file FAT was not read. The ownership is the one being built, complete up
// to this recording.
using RecordingVisitor = std::function<void(const BlockOwnership&, const OwnedRecording&,
                                            const std::vector<int64_t>& blocks)>;

// The ownership of the disk's data area. `disk` has its directory read and its
// File-FAT-Size settled (heldFileFatSize() > 0). The data area ends with the disk's
// last whole block, or after F x 4096 blocks when the disk's size is not known. The file
// FATs are read ascending, those of following entry numbers in requests of up to 1 MiB; a
// request that fails is read again file FAT by file FAT, so that an unreadable sector costs
// only its own file FAT. A set `stop` ends the reading after the file FAT in hand: the
// ownership then lacks the later recordings.
BlockOwnership buildBlockOwnership(Fsr5000Disk& disk, const RecordingVisitor& visit = {},
                                   const std::atomic<bool>* stop = nullptr);

}  // namespace korvelo
