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

struct RescuedRecording {
  int id = 0;  // the user picks it by this; also the entry number of its ".hav"
  RescueMethod method = RescueMethod::FileFatRegions;
  int region = -1;  // file-FAT region (entry number + 1); -1 from the head scan
  int64_t dataAreaStart = 0;
  std::vector<int64_t> blocks;  // data-area blocks in recording order
  int hojins = 0;               // HOJINs 1 ... hojins lie in `blocks` and are exported

  // What the heads say. Every flag below but endsOnBlockBoundary lowers the confidence
  // to Uncertain; ambiguity and a full last block leave it Probable at best.
  bool startMarked = false;          // HOJIN 1 carries the recording-start mark
  int damagedHeads = 0;              // HOJINs inside the chain whose heads do not fit
  int ambiguousChoices = 0;          // steps where another free block fitted as well
  bool endsOnBlockBoundary = false;  // the last block is full: a next one may be missing
  bool continuationFound = false;    // a later free block carries a higher number of the run
  bool headsEndEarly = false;        // the file FAT has blocks beyond the last good head

  Confidence confidence() const;
  // German reasons behind the confidence, one short phrase each; empty when certain.
  std::vector<std::string> doubts() const;

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
