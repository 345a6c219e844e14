// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One recording's file FAT as read: a bitmap of one bit per data-area block, the most
// significant bit of byte 0 first. The set bits are listed once on load, so finding
// the n-th block of a recording costs the same for its first and its last HOJIN.

#include <cstdint>
#include <memory>
#include <vector>

namespace korvelo {

class FileFat {
 public:
  // Takes the bytes as read; byteCount > 0.
  FileFat(std::unique_ptr<uint8_t[]> bytes, int64_t byteCount);

  // Where a scan over the bitmap for the `ordinal`-th set bit (from 1) would stop.
  struct BlockBit {
    bool found = false;
    int64_t setBitsCounted = 0;  // ordinal when found, all set bits otherwise
    int64_t byteIndex = 0;       // byte of the found bit; the last byte otherwise
    int64_t bitNumber = 0;       // from 1; bit number j stands for block j - 1
  };
  BlockBit findBlock(int64_t ordinal) const;

  const uint8_t* bytes() const { return bytes_.get(); }
  int64_t byteCount() const { return byteCount_; }
  int64_t setBitCount() const { return static_cast<int64_t>(setBits_.size()); }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  int64_t byteCount_;
  std::vector<int64_t> setBits_;  // bit numbers of the set bits, ascending
};

}  // namespace korvelo
