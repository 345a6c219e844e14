// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/damage_ledger.h"

#include <algorithm>
#include <utility>

#include "disk/physical_drive.h"
#include "export/hav_geometry.h"

namespace korvelo {

DamageLedger::DamageLedger(std::vector<DamagedArea> areas) {
  for (const DamagedArea& area : areas) add(area);
}

void DamageLedger::add(const DamagedArea& run) {
  if (run.sectorCount <= 0) return;
  if (!areas_.empty()) {
    DamagedArea& last = areas_.back();
    if (last.state == run.state && last.firstSector + last.sectorCount == run.firstSector &&
        last.fileOffset + last.sectorCount * kSectorSize == run.fileOffset) {
      last.sectorCount += run.sectorCount;
      return;
    }
  }
  areas_.push_back(run);
}

void DamageLedger::insert(const DamagedArea& run) {
  const auto at = std::find_if(areas_.begin(), areas_.end(), [&](const DamagedArea& other) {
    return other.fileOffset > run.fileOffset;
  });
  const std::vector<DamagedArea> after(at, areas_.end());
  areas_.erase(at, areas_.end());
  add(run);
  for (const DamagedArea& area : after) add(area);
}

void DamageLedger::addAll(const DamageLedger& other, int64_t fileOffsetShift) {
  for (DamagedArea area : other.areas_) {
    area.fileOffset += fileOffsetShift;
    add(area);
  }
}

int64_t DamageLedger::zeroFilledSectors() const {
  int64_t sectors = 0;
  for (const DamagedArea& area : areas_) sectors += area.sectorCount;
  return sectors;
}

int64_t DamageLedger::sectorsIn(DamageState state) const {
  int64_t sectors = 0;
  for (const DamagedArea& area : areas_)
    if (area.state == state) sectors += area.sectorCount;
  return sectors;
}

int DamageLedger::damagedHojins() const {
  // The HOJINs each area touches, as ranges; areas need not come in file order.
  std::vector<std::pair<int64_t, int64_t>> ranges;
  ranges.reserve(areas_.size());
  for (const DamagedArea& area : areas_) {
    const int64_t last = area.fileOffset + (area.sectorCount - 1) * kSectorSize;
    ranges.emplace_back(hojinAtFileOffset(area.fileOffset), hojinAtFileOffset(last));
  }
  std::sort(ranges.begin(), ranges.end());
  int64_t counted = 0, countedThrough = -1;
  for (const auto& [first, last] : ranges) {
    const int64_t from = std::max(first, countedThrough + 1);
    if (last >= from) counted += last - from + 1;
    countedThrough = std::max(countedThrough, last);
  }
  return static_cast<int>(counted);
}

DamageLedger DamageLedger::before(int64_t fileBytes) const {
  DamageLedger kept;
  for (DamagedArea area : areas_) {
    area.sectorCount = std::min(area.sectorCount, (fileBytes - area.fileOffset) / kSectorSize);
    kept.add(area);
  }
  return kept;
}

}  // namespace korvelo
