// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A recording found again without the directory: the blocks it occupies, how many of
// its HOJINs carry good heads, and what speaks against the find. The export copies
// `hojins` HOJINs through the blocks in order, 16 per block.

#include <cstdint>
#include <string>
#include <vector>

namespace korvelo {

enum class RescueMethod {
  FileFatRegions,  // a file FAT whose entry number has no directory entry
  HojinHeads       // blocks chained by the internal numbers in their HOJIN heads
};

enum class Confidence { Certain, Probable, Uncertain };

// A link of a head-scan chain that the heads do not settle: after `afterBlock` (a full
// block, or one whose last heads could not be read) the chain took `chosenBlock`
// (-1: it ended there), while other blocks could have followed as well, or the
// recording could have ended.
struct ChainAlternative {
  uint32_t hojin = 0;  // the internal number the next block would open with
  int64_t afterBlock = 0;
  int64_t chosenBlock = -1;          // -1: the chain ends after afterBlock
  std::vector<int64_t> otherBlocks;  // the other blocks that could follow, nearest first
  bool moreBlocks = false;           // more could follow than otherBlocks names
  bool couldEnd = false;             // the recording could also end after afterBlock
};

struct RescuedRecording {
  int id = 0;  // the user picks it by this; also the entry number of its ".hav"
  RescueMethod method = RescueMethod::FileFatRegions;
  int region = -1;  // file-FAT region (entry number + 1); -1 from the head scan
  int64_t dataAreaStart = 0;
  std::vector<int64_t> blocks;  // data-area blocks in recording order
  int hojins = 0;               // HOJINs 1 ... hojins lie in `blocks` and are exported

  // What the heads say. Every flag below but endsOnBlockBoundary lowers the confidence
  // to Uncertain; a full last block leaves it Probable at best. A chain is certain only
  // when every link had exactly one candidate: an ambiguous link may have spliced two
  // recordings into one.
  bool startMarked = false;  // HOJIN 1 carries the recording-start mark
  int damagedHeads = 0;      // HOJINs inside the chain whose heads do not fit
  int ambiguousChoices = 0;  // links where another block (or the end) fits as well
  std::vector<ChainAlternative> alternatives;  // those links, in chain order
  int64_t unreadableBlocks = 0;      // blocks with no readable head that could belong to the chain
  bool endsOnBlockBoundary = false;  // the last block is full: a next one may be missing
  bool continuationFound = false;    // a later free block carries a higher number of the run
  bool headsEndEarly = false;        // the file FAT has blocks beyond the last good head

  Confidence confidence() const;
  // German reasons behind the confidence, one short phrase each; empty when certain.
  std::vector<std::string> doubts() const;
  // Whether a link was ambiguous (or blocks that could belong were unreadable): the
  // export may join parts of different recordings and never counts as complete.
  bool maySplice() const { return ambiguousChoices > 0 || unreadableBlocks > 0; }
  // "Kette unsicher: ..." with the ambiguous links, or empty when !maySplice().
  std::string spliceDoubt() const;

  // First sector of HOJIN k (from 1), or -1 when k lies outside 1 ... hojins.
  int64_t sectorOfHojin(int64_t k) const;
  uint32_t lengthInSectors() const;  // hojins x 65
  uint64_t sizeInBytes() const;
};

// "sicher", "wahrscheinlich", "unsicher".
const char* confidenceName(Confidence confidence);
// The same for scripts, never translated: "certain", "probable", "uncertain".
const char* confidenceId(Confidence confidence);

}  // namespace korvelo
