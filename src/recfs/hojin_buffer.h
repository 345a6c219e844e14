// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One HOJIN (65 sectors) as read, with the tests on the head of its A-sector.

#include <cstdint>
#include <string>

#include "disk/sector_buffer.h"

namespace korvelo {

class HojinBuffer : public SectorBuffer {
 public:
  HojinBuffer();
  ~HojinBuffer() override = default;

  bool hasSignature() const;
  uint32_t getInternalNumber() const;   // value at 32 / 65 + 1
  uint32_t getInternalNumber2() const;  // value at 56
  bool isRecordingStart() const;
  // Five LF-ended lines: the head line and four rows of 16 bytes of the A-sector, their
  // character column turned from Latin-1 into UTF-8 like the titles.
  std::string dumpHead() const;
};

}  // namespace korvelo
