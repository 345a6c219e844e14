// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/salvage_read.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvelo {
namespace {

void addDamage(SalvageResult& result, int sector, DamageState state) {
  if (!result.damage.empty()) {
    SectorDamage& last = result.damage.back();
    if (last.state == state && last.first + last.count == sector) {
      ++last.count;
      return;
    }
  }
  result.damage.push_back(SectorDamage{sector, 1, state});
}

}  // namespace

void appendArea(std::vector<DamagedArea>& areas, const DamagedArea& area) {
  if (!areas.empty()) {
    DamagedArea& last = areas.back();
    if (last.state == area.state && last.firstSector + last.sectorCount == area.firstSector &&
        last.fileOffset + last.sectorCount * kSectorSize == area.fileOffset) {
      last.sectorCount += area.sectorCount;
      return;
    }
  }
  areas.push_back(area);
}

void insertArea(std::vector<DamagedArea>& areas, const DamagedArea& area) {
  const auto at = std::find_if(areas.begin(), areas.end(), [&](const DamagedArea& other) {
    return other.fileOffset > area.fileOffset;
  });
  std::vector<DamagedArea> after(at, areas.end());
  areas.erase(at, areas.end());
  appendArea(areas, area);
  for (const DamagedArea& other : after) appendArea(areas, other);
}

bool readFailedForGone(const PhysicalDrive& drive, int64_t sector) {
  const int error = drive.lastError();
  if (error == ENODEV || error == ENOMEDIUM) return true;
  if (error != ENXIO) return false;
  // ENXIO is also what a read starting past the end of the medium gives.
  const ByteSource* source = drive.source();
  const int64_t size = source ? source->mediaInfo().sizeBytes : -1;
  return size < 0 || sector * kSectorSize < size;
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
  result.damage.push_back(SectorDamage{0, sectorCount, DamageState::NotTried});
  return result;
}

SalvageResult readSalvaging(PhysicalDrive& drive, int64_t first, int sectorCount, uint8_t* data) {
  SalvageResult result;
  if (drive.readSectorInto(first, sectorCount, data)) {
    result.firstReadable = 0;
    return result;
  }
  result.driveGone = readFailedForGone(drive, first);
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
      addDamage(result, i, DamageState::NotTried);
      continue;
    }
    ++failuresInARow;
    ++result.unreadable;
    addDamage(result, i, DamageState::Unreadable);
    if (readFailedForGone(drive, first + i)) result.driveGone = true;
  }
  return result;
}

}  // namespace korvelo
