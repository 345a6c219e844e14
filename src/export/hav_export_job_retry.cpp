// SPDX-License-Identifier: GPL-3.0-or-later
// A file continued after its disk came back: the sectors an earlier export had to
// zero-fill are read again, one by one, and what reads now is written into the file where
// the zeros are. Nothing else of the file is read from the disk again.

#include <fcntl.h>

#include <algorithm>

#include "disk/posix_file.h"
#include "disk/text.h"
#include "export/hav_export_job.h"
#include "recfs/disk_layout.h"

namespace korvelo {

void HavExportJob::carryDamage(DamageLedger earlier, bool retry) {
  earlierDamage_ = std::move(earlier);
  retryEarlierDamage_ = retry;
}

void HavExportJob::retryEarlierDamage(int64_t keptBytes) {
  PosixFile target;
  if (const int error = target.open(path, O_WRONLY | O_CLOEXEC | O_NOFOLLOW); error != 0) {
    addLine(textf("Beschädigte Stellen in \"%s\" nicht erneut gelesen: %s", path.c_str(),
                  describeError(error).c_str()),
            Severity::Error);
    return;
  }
  PhysicalDrive& drive = disk->getDrive();
  DamageLedger remaining;
  int64_t tried = 0, recovered = 0;
  bool gone = false;
  uint8_t sector[kSectorSize];
  for (const DamagedArea& area : earlierDamage_.areas()) {
    for (int64_t i = 0; i < area.sectorCount; ++i) {
      const DamagedArea one{area.firstSector + i, 1, area.fileOffset + i * kSectorSize, area.state};
      if (one.fileOffset + kSectorSize > keptBytes) continue;  // copied anew anyway
      if (gone) {
        remaining.add(one);
        continue;
      }
      ++tried;
      if (drive.readSectorInto(one.firstSector, 1, sector) &&
          target.writeAllAt(one.fileOffset, std::span<const uint8_t>(sector, kSectorSize)) == 0) {
        ++recovered;
        continue;
      }
      gone = readFailedForGone(drive, one.firstSector);
      remaining.add(
          {one.firstSector, 1, one.fileOffset, gone ? one.state : DamageState::Unreadable});
    }
  }
  if (const int error = target.sync(); error != 0) {
    addLine(textf("Fehler beim Sichern von \"%s\": %s", path.c_str(), describeError(error).c_str()),
            Severity::Error);
    return;  // what was written may not have reached the disk: the areas stay recorded
  }
  earlierDamage_ = std::move(remaining);
  addLine(textf("Erneut gelesen: %s von %s beschädigten Sektoren in \"%s\" sind jetzt lesbar.",
                formatThousands(recovered, '.').c_str(), formatThousands(tried, '.').c_str(),
                path.c_str()));
}

// The areas of the kept part stay recorded (and so counted); the rest is copied anew.
void HavExportJob::keepEarlierDamage(int64_t keptBytes) {
  damage_.addAll(earlierDamage_.before(keptBytes));
  earlierDamage_ = {};
}

}  // namespace korvelo
