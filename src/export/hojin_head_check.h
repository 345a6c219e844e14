// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tests every HOJIN head of a recording must pass, in the order the export checks
// them; the first that fails names the fault. The export, its verdict and `verify` all
// judge a head through this one function.

#include <cstdint>

#include "recfs/hojin_buffer.h"

namespace korvelo {

enum class HojinHeadFault {
  None,
  Signature,              // the head's signature is not there
  InternalNumbersDiffer,  // its two internal numbers disagree
  WrongOrder,             // its internal number is not its place in the recording
  NotRecordingStart,      // HOJIN 1 does not mark the start of a recording
};

// The first failing test of HOJIN k's head (k counted from 1).
HojinHeadFault hojinHeadFault(const HojinBuffer& hojin, int64_t k);

// Whether the fault means that the HOJIN's bytes are not the recording's: every fault
// but a first HOJIN without the recording-start mark, which is only warned about (its
// number and signature are right, so its bytes are the recording's first).
constexpr bool isWrongHead(HojinHeadFault fault) {
  return fault != HojinHeadFault::None && fault != HojinHeadFault::NotRecordingStart;
}

}  // namespace korvelo
