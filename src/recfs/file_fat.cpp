// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/file_fat.h"

namespace korvelo {

FileFat::FileFat(std::unique_ptr<uint8_t[]> bytes, int64_t byteCount)
    : bytes_(std::move(bytes)), byteCount_(byteCount) {
  for (int64_t index = 0; index < byteCount_; ++index) {
    const uint8_t byte = bytes_[index];
    if (byte == 0) continue;  // most of a file FAT is empty
    for (int bit = 7; bit >= 0; --bit) {
      if (byte & (1u << bit)) setBits_.push_back(8 * index + (8 - bit));
    }
  }
}

FileFat::BlockBit FileFat::findBlock(int64_t ordinal) const {
  BlockBit result;
  if (ordinal < 1 || ordinal > setBitCount()) {
    result.setBitsCounted = setBitCount();
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
