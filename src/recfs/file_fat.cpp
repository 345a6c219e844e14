// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/file_fat.h"

#include <algorithm>
#include <bit>

namespace korvelo {

FileFat::FileFat(std::span<const uint8_t> bytes, int64_t kept)
    : byteCount_(static_cast<int64_t>(bytes.size())) {
  for (size_t index = 0; index < bytes.size(); ++index) {
    const uint8_t byte = bytes[index];
    if (byte == 0) continue;  // most of a file FAT is empty
    setBitCount_ += std::popcount(byte);
    for (int bit = 7; bit >= 0 && keptBitCount() < kept; --bit) {
      if (byte & (1u << bit)) setBits_.push_back(8 * static_cast<int64_t>(index) + (8 - bit));
    }
  }
}

FileFat::FileFat(int64_t byteCount, std::span<const int64_t> blocks, int64_t kept)
    : byteCount_(byteCount), setBitCount_(static_cast<int64_t>(blocks.size())) {
  const auto keptCount = static_cast<size_t>(std::clamp<int64_t>(kept, 0, setBitCount_));
  setBits_.reserve(keptCount);
  for (size_t i = 0; i < keptCount; ++i) setBits_.push_back(blocks[i] + 1);
}

FileFat::BlockBit FileFat::findBlock(int64_t ordinal) const {
  BlockBit result;
  if (ordinal < 1 || ordinal > setBitCount_) {
    result.setBitsCounted = setBitCount_;
    result.byteIndex = byteCount_ - 1;
    return result;
  }
  result.found = true;
  result.setBitsCounted = ordinal;
  result.bitNumber = setBits_[static_cast<size_t>(ordinal - 1)];
  result.byteIndex = (result.bitNumber - 1) / 8;
  return result;
}

}  // namespace korvelo
