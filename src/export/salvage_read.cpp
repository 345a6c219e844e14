// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/salvage_read.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvelo {
bool readFailedForGone(const PhysicalDrive& drive, int64_t sector) {
  return drive.failedForGone(sector);
}

SalvageResult readWhole(PhysicalDrive& drive, int64_t first, int sectorCount, uint8_t* data) {
  SalvageResult result;
  if (drive.readSectorInto(first, sectorCount, data)) {
    result.firstReadable = 0;
    return result;
  }
  result.driveGone = readFailedForGone(drive, first);
  std::memset(data, 0, static_cast<size_t>(sectorCount) * kSectorSize);
  result.notTried = sectorCount;
  result.damage.add({first, sectorCount, 0, DamageState::NotTried});
  return result;
}

SalvageResult readSalvaging(PhysicalDrive& drive, int64_t first, int sectorCount, uint8_t* data,
                            bool wholeFirst) {
  SalvageResult result;
  if (wholeFirst) {
    if (drive.readSectorInto(first, sectorCount, data)) {
      result.firstReadable = 0;
      return result;
    }
    result.driveGone = readFailedForGone(drive, first);
  }
  const ByteSource* source = drive.source();
  const int giveUpAfter =
      source && source->failuresAreCostly() ? kFailuresInARowBeforeGivingUp : sectorCount + 1;
  int failuresInARow = 0;
  for (int i = 0; i < sectorCount; ++i) {
    uint8_t* sector = data + static_cast<size_t>(i) * kSectorSize;
    const bool giveUp = result.driveGone || failuresInARow >= giveUpAfter;
    if (!giveUp && drive.readSectorInto(first + i, 1, sector)) {
      failuresInARow = 0;
      if (result.firstReadable < 0) result.firstReadable = i;
      continue;
    }
    std::memset(sector, 0, kSectorSize);
    if (giveUp) {
      ++result.notTried;
      result.damage.add({first + i, 1, int64_t{i} * kSectorSize, DamageState::NotTried});
      continue;
    }
    ++failuresInARow;
    ++result.unreadable;
    result.damage.add({first + i, 1, int64_t{i} * kSectorSize, DamageState::Unreadable});
    if (readFailedForGone(drive, first + i)) result.driveGone = true;
  }
  return result;
}

}  // namespace korvelo
