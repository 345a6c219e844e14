// SPDX-License-Identifier: GPL-3.0-or-later
// A file continued after its disk came back: the sectors an earlier export had to
// zero-fill are read again, one by one, and what reads now is written into the file where
// the zeros are. Nothing else of the file is read from the disk again.

#include <fcntl.h>

#include <algorithm>

#include "disk/posix_file.h"
#include "disk/text.h"
#include "export/hav_export_job.h"
#include "export/hav_head.h"
#include "recfs/disk_layout.h"

namespace korvelo {

void HavExportJob::carryDamage(std::vector<DamagedArea> areas, bool retry) {
  earlierDamage_ = std::move(areas);
  retryEarlierDamage_ = retry;
}

void HavExportJob::retryEarlierDamage(int64_t keptBytes) {
  PosixFile target;
  if (const int error = target.open(path, O_WRONLY | O_CLOEXEC | O_NOFOLLOW); error != 0) {
    addLine(textf("Beschädigte Stellen in \"%s\" nicht erneut gelesen: %s", path.c_str(),
                  describeError(error).c_str()));
    return;
  }
  PhysicalDrive& drive = disk->getDrive();
  std::vector<DamagedArea> remaining;
  int64_t tried = 0, recovered = 0;
  bool gone = false;
  uint8_t sector[kSectorSize];
  for (const DamagedArea& area : earlierDamage_) {
    for (int64_t i = 0; i < area.sectorCount; ++i) {
      const DamagedArea one{area.firstSector + i, 1, area.fileOffset + i * kSectorSize, area.state};
      if (one.fileOffset + kSectorSize > keptBytes) continue;  // copied anew anyway
      if (gone) {
        appendArea(remaining, one);
        continue;
      }
      ++tried;
      if (drive.readSectorInto(one.firstSector, 1, sector) &&
          target.writeAllAt(one.fileOffset, std::span<const uint8_t>(sector, kSectorSize)) == 0) {
        ++recovered;
        continue;
      }
      gone = readFailedForGone(drive, one.firstSector);
      appendArea(remaining, DamagedArea{one.firstSector, 1, one.fileOffset,
                                        gone ? one.state : DamageState::Unreadable});
    }
  }
  if (const int error = target.sync(); error != 0) {
    addLine(
        textf("Fehler beim Sichern von \"%s\": %s", path.c_str(), describeError(error).c_str()));
    return;  // what was written may not have reached the disk: the areas stay recorded
  }
  earlierDamage_ = std::move(remaining);
  addLine(textf("Erneut gelesen: %s von %s beschädigten Sektoren in \"%s\" sind jetzt lesbar.",
                formatThousands(recovered, '.').c_str(), formatThousands(tried, '.').c_str(),
                path.c_str()));
}

// The areas of the kept part stay recorded and counted; the rest is copied anew.
void HavExportJob::keepEarlierDamage(int64_t keptBytes) {
  int lastHojin = 0;
  for (const DamagedArea& area : earlierDamage_) {
    const int64_t keptSectors =
        std::min(area.sectorCount, (keptBytes - area.fileOffset) / kSectorSize);
    if (keptSectors <= 0) continue;
    appendArea(damagedAreas_,
               DamagedArea{area.firstSector, keptSectors, area.fileOffset, area.state});
    unreadableSectors_ += keptSectors;
    const int64_t data = area.fileOffset - kHavFrontBytes;
    const int first = static_cast<int>(data / kHojinBytes) + 1;
    const int last = static_cast<int>((data + (keptSectors - 1) * kSectorSize) / kHojinBytes) + 1;
    damagedHojins_ += std::max(0, last - std::max(first, lastHojin + 1) + 1);
    lastHojin = std::max(lastHojin, last);
  }
  earlierDamage_.clear();
}

}  // namespace korvelo
