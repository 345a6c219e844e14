// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One recording's file FAT as read: a bitmap of one bit per data-area block, the most
// significant bit of byte 0 first. Only the numbers of its set bits are kept, listed once
// on load, so finding the n-th block of a recording costs the same for its first and its
// last HOJIN, and a file FAT held for later takes a few bytes per block, not its sectors.

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace korvelo {

class FileFat {
 public:
  // Lists the set bits of the bitmap (bytes not empty), keeping the numbers of the first
  // `kept` of them; all are counted.
  explicit FileFat(std::span<const uint8_t> bytes,
                   int64_t kept = std::numeric_limits<int64_t>::max());
  // The same from the numbers of the blocks the bitmap of `byteCount` bytes names (block
  // b is bit b + 1), ascending, as the block ownership lists them.
  FileFat(int64_t byteCount, std::span<const int64_t> blocks, int64_t kept);

  // Where a scan over the bitmap for the `ordinal`-th set bit (from 1) would stop.
  struct BlockBit {
    bool found = false;
    int64_t setBitsCounted = 0;  // ordinal when found, all set bits otherwise
    int64_t byteIndex = 0;       // byte of the found bit; the last byte otherwise
    int64_t bitNumber = 0;       // from 1; bit number j stands for block j - 1
  };
  // Call only for an ordinal the file FAT answers().
  BlockBit findBlock(int64_t ordinal) const;
  // Whether findBlock knows the answer: the bit is kept, or there is no such bit.
  bool answers(int64_t ordinal) const {
    return ordinal <= keptBitCount() || ordinal > setBitCount_;
  }

  int64_t byteCount() const { return byteCount_; }
  int64_t setBitCount() const { return setBitCount_; }
  int64_t keptBitCount() const { return static_cast<int64_t>(setBits_.size()); }

 private:
  int64_t byteCount_;
  int64_t setBitCount_ = 0;
  std::vector<int64_t> setBits_;  // bit numbers of the first set bits, ascending
};

}  // namespace korvelo
