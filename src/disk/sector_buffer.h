// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An owned block of bytes of fixed size that remembers the sector it came from,
// with the byte-order helpers for the recorder's big-endian numbers.

#include <cstdint>
#include <memory>

namespace korvelo {

class SectorBuffer {
 public:
  explicit SectorBuffer(int size);
  virtual ~SectorBuffer() = default;
  SectorBuffer(const SectorBuffer&) = delete;
  SectorBuffer& operator=(const SectorBuffer&) = delete;

  // Copies getSize() bytes from source; returns the count copied.
  int copyFrom(const uint8_t* source);
  void setSector(int64_t sector) { sector_ = sector; }
  int64_t getSector() const { return sector_; }
  int getSize() const { return size_; }
  uint8_t* getData() { return data_.get(); }
  const uint8_t* getData() const { return data_.get(); }

  // The two bytes at 2 x index in host order (the first byte is the low byte).
  uint16_t getWord(int index) const;
  static uint16_t swap16(uint16_t value);
  static uint32_t swap32(uint32_t value);

  // Big-endian fields at a byte offset; preconditions: offset + width <= getSize().
  uint16_t bigEndian16(int offset) const;
  uint32_t bigEndian32(int offset) const;

 private:
  int64_t sector_ = -1;  // -1: no sector yet
  int size_;
  std::unique_ptr<uint8_t[]> data_;
};

}  // namespace korvelo
