// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the two rescue scans share: settling the File-FAT-Size without disturbing the
// status text, the stop flag, and the test of a HOJIN head against the number it
// should carry.

#include <cstdint>

#include "recfs/hojin_buffer.h"
#include "recfs/rescue_scan.h"

namespace korvelo {

// Settles F through the disk object (probing when unset) and keeps the status text as
// it was. False, with the reason in result.message, when F stays unknown.
bool settleFileFatSizeForRescue(Fsr5000Disk& disk, RescueScanResult& result);

inline bool stopRequested(const RescueScanOptions& options) {
  return options.stop != nullptr && options.stop->load(std::memory_order_relaxed);
}

// The signature, and `number` in both places of the head (offsets 32 and 56).
inline bool headCarriesNumber(const HojinBuffer& head, uint32_t number) {
  return head.hasSignature() && head.getInternalNumber() == number &&
         head.getInternalNumber2() == number;
}

}  // namespace korvelo
