// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/sector_buffer.h"

#include <cstring>
#include <new>

namespace korvelo {

SectorBuffer::SectorBuffer(int size)
    : size_(size > 0 ? size : 0),
      data_(size > 0 ? new (std::nothrow) uint8_t[static_cast<size_t>(size)] : nullptr) {
  if (!data_) size_ = 0;
}

int SectorBuffer::copyFrom(const uint8_t* source) {
  if (!data_ || source == nullptr) return 0;
  std::memcpy(data_.get(), source, static_cast<size_t>(size_));
  return size_;
}

uint16_t SectorBuffer::getWord(int index) const {
  const uint8_t* at = data_.get() + 2 * static_cast<size_t>(index);
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

uint16_t SectorBuffer::swap16(uint16_t value) {
  return static_cast<uint16_t>((value >> 8) | (value << 8));
}

uint32_t SectorBuffer::swap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
         (value << 24);
}

uint16_t SectorBuffer::bigEndian16(int offset) const {
  const uint8_t* at = data_.get() + offset;
  return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

uint32_t SectorBuffer::bigEndian32(int offset) const {
  const uint8_t* at = data_.get() + offset;
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) |
         uint32_t{at[3]};
}

}  // namespace korvelo
