// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskbuilder/hojin_image.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "diskbuilder/layout.h"

namespace korvelo::sample {

namespace {

constexpr uint8_t kSignature[16] = {'[', 'H', 'O', 'J', 'I', 'N', ' ', 'A', 0, 0, 2, 0, 0, 0, 0, 0};
constexpr uint8_t kMagic[4] = {0x00, 0x00, 0x80, 0x00};
constexpr int kPositionOffset = 32;  // v = 65 * (k - 1)
constexpr int kNumberOffset = 56;    // k

void putBig32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void writeHead(uint8_t* aSector, int k, HeadDefect defect) {
  std::memcpy(aSector, kSignature, sizeof kSignature);
  std::memcpy(aSector + 16, kMagic, sizeof kMagic);
  uint32_t position = kSectorsPerHojin * static_cast<uint32_t>(k - 1);
  uint32_t number = static_cast<uint32_t>(k);
  switch (defect) {
    case HeadDefect::None:
    case HeadDefect::NoHead:
      break;
    case HeadDefect::WrongSignature:
      aSector[1] = 'h';
      break;
    case HeadDefect::WrongInternalNumbers:
      number = static_cast<uint32_t>(k) + 1;
      break;
    case HeadDefect::WrongOrder:
      position += kSectorsPerHojin;
      number += 1;
      break;
    case HeadDefect::NotRecordingStart:
      if (k != 1) {
        throw std::runtime_error("NotRecordingStart applies to HOJIN 1 only, not to HOJIN " +
                                 std::to_string(k));
      }
      position = 13;
      break;
  }
  putBig32(aSector + kPositionOffset, position);
  putBig32(aSector + kNumberOffset, number);
}

}  // namespace

void fillHojin(int64_t firstSector, int k, HeadDefect defect, uint8_t* hojin33280) {
  for (int i = 0; i < kSectorsPerHojin; ++i) {
    fillPayload(firstSector + i, hojin33280 + i * kSectorBytes);
  }
  if (defect != HeadDefect::NoHead) writeHead(hojin33280, k, defect);
}

}  // namespace korvelo::sample
