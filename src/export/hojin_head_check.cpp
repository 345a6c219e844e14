// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/hojin_head_check.h"

namespace korvelo {

HojinHeadFault hojinHeadFault(const HojinBuffer& hojin, int64_t k) {
  if (!hojin.hasSignature()) return HojinHeadFault::Signature;
  if (hojin.getInternalNumber() != hojin.getInternalNumber2())
    return HojinHeadFault::InternalNumbersDiffer;
  if (hojin.getInternalNumber() != static_cast<uint32_t>(k)) return HojinHeadFault::WrongOrder;
  if (k == 1 && !hojin.isRecordingStart()) return HojinHeadFault::NotRecordingStart;
  return HojinHeadFault::None;
}

}  // namespace korvelo
