// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 88-byte head of a ".hav" file (numbers little-endian).

#include <array>
#include <cstdint>
#include <string_view>

#include "recfs/disk_layout.h"

namespace korvelo {

class HavHead {
 public:
  static constexpr int kSize = 88;

  HavHead();  // the fixed template: 113 at 0, 1536 at 16, zero elsewhere
  virtual ~HavHead() = default;

  int getSize() const { return kSize; }
  const uint8_t* getData() const { return bytes_.data(); }

  // Each setter returns false, writing nothing, only when the buffer is missing.
  bool setSizes(int64_t total);           // at 8; total - 1536 at 32; that / 1024 at 84
  bool setTitle(std::string_view title);  // raw bytes into 46 ... 78, at most 33, then zeros
  bool setDuration(uint32_t seconds);     // at 80

 private:
  std::array<uint8_t, kSize> bytes_;
};

// The front of every ".hav" file: the head, then the recording's entry image. HOJIN k
// begins at kHavFrontBytes + 33280 (k - 1).
inline constexpr int64_t kHavFrontBytes = HavHead::kSize + kEntryImageBytes;  // 1624

}  // namespace korvelo
