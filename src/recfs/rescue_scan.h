// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds recordings that the directory no longer leads to, in one of two ways:
//  - the region scan reads the file FATs 1 ... 2000 and reports every one with set bits
//    whose entry number has no directory entry (a wiped slot, a deleted recording, an
//    unreadable directory head);
//  - the head scan walks the data area block by block and chains blocks by the internal
//    numbers in their HOJIN heads, for when the file FATs are gone as well.
// Both only read. Both need the File-FAT-Size; they settle it through the disk object.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recfs/fsr5000_disk.h"
#include "recfs/rescue_recording.h"

namespace korvelo {

struct ScanProgress {
  int64_t done = 0;   // regions or blocks looked at
  int64_t total = 0;  // regions or blocks to look at (an upper bound for the head scan)
  int found = 0;      // recordings (region scan) or recording starts (head scan) so far
};

struct RescueScanOptions {
  // Called every few hundred blocks or regions and once at the end; may be empty.
  std::function<void(const ScanProgress&)> progress;
  // Set from another thread (or a signal handler) to end the scan early; what was
  // found up to then is reported, marked as interrupted.
  const std::atomic<bool>* stop = nullptr;
  // Head scan: stop after this many blocks in a row without a HOJIN head, counted from
  // the last block that had one (or from the start of the data area). 0: no limit.
  int64_t emptyBlockLimit = 0;
  // Head scan: no block beginning beyond this sector is looked at. -1: the end of the disk.
  int64_t lastSector = -1;
};

// The blocks the recordings a region scan finds may hold together: 8 Mi block numbers
// (64 MiB), twice the data blocks of a 2 TB disk, on which every block belongs to one
// recording at most. A file-FAT area of random bits would claim half of every region's
// blocks, gigabytes in all; the scan stops at the bound instead and says so.
inline constexpr int64_t kMostRescuedBlocks = int64_t{8} << 20;

// What the head scan keeps for chaining: 512 Ki blocks with HOJIN heads (272 GB of
// recordings) of which 16 Ki start a recording; about 90 bytes a block while the chains
// are judged, 48 MiB at the bound. A disk with more is scanned up to there, and the scan
// says so.
inline constexpr int64_t kMostHeadBlocks = int64_t{1} << 19;
inline constexpr int kMostHeadStarts = 1 << 14;

struct RescueScanResult {
  bool ok = false;      // false: the File-FAT-Size is unknown, nothing was scanned
  std::string message;  // German; why nothing was scanned, or how the scan ended
  int fileFatSize = -1;
  bool interrupted = false;
  bool atBlockBound = false;  // the scan stopped at its bound of blocks
  // Region scan: file FATs with set bits whose HOJIN heads do not reach halfway into the
  // blocks they name (all that a FAT area of random bits holds); passed over, not kept.
  int64_t notCredible = 0;
  int64_t scanned = 0;                       // regions or blocks looked at
  int64_t unreadable = 0;                    // regions or A-sectors that could not be read
  int64_t unreadableBlocks = 0;              // head scan: blocks without one readable head
  int64_t orphanBlocks = 0;                  // head scan: blocks with heads that no recording took
  std::vector<RescuedRecording> recordings;  // in the order of their ids

  // The scan leaves no full answer: it stopped at its bound of blocks, or it found file
  // FATs but nothing in them that could be saved. Such a rescue ends as failed.
  bool fellShort() const { return atBlockBound || (recordings.empty() && notCredible > 0); }
};

// Ids are the entry numbers (region - 1).
RescueScanResult scanFileFatRegions(Fsr5000Disk& disk, const RescueScanOptions& options = {});

// Ids count from 1 in the order of the recordings' first blocks.
RescueScanResult scanHojinHeads(Fsr5000Disk& disk, const RescueScanOptions& options = {});

// One data-area block as the head scan saw it: the heads of its 16 HOJINs.
struct HeadBlock {
  int64_t block = 0;
  uint32_t firstNumber = 0;     // internal number of its first HOJIN: 16 m + 1
  bool recordingStart = false;  // its first HOJIN starts a recording
  int extent = 0;               // HOJINs up to the last one numbered in its place (1 ... 16)
  int damagedHeads = 0;         // HOJINs before `extent` whose heads do not fit
  // extent < 16, but a head after it could not be read: the block may be full, and a
  // next block of the same recording may follow.
  bool mayContinue = false;
};

struct ChainResult {
  std::vector<RescuedRecording> recordings;
  int64_t orphanBlocks = 0;
};

// Chains the blocks (ascending by block number, fewer than 2^32) into recordings: from every start
// the HOJINs of a block follow one another, and the next block is the nearest later free block
// whose first HOJIN carries the next internal number. Every link is judged against all blocks: it
// is certain only when, of every way to continue each full block by a later one with the next
// number (as many continuations as the blocks allow), all take this one. `unreadableBlocks` blocks
// lay in the scanned area without a single readable head; any of them could continue any chain.
ChainResult chainHeadBlocks(const std::vector<HeadBlock>& blocks, int64_t dataAreaStart,
                            int64_t unreadableBlocks = 0);

}  // namespace korvelo
