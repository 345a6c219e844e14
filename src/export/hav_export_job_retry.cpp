// SPDX-License-Identifier: GPL-3.0-or-later
// A file continued after its disk came back: the sectors an earlier export had to
// zero-fill are read again, and what reads now is written into the file where the zeros
// are. Nothing else of the file is read from the disk again.

#include <sys/stat.h>

#include <algorithm>

#include "disk/posix_file.h"
#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/hav_export_job.h"
#include "export/hav_geometry.h"
#include "export/read_plan.h"
#include "recfs/disk_layout.h"

namespace korvelo {

void HavExportJob::carryDamage(DamageLedger earlier, bool retry) {
  earlierDamage_ = std::move(earlier);
  retryEarlierDamage_ = retry;
}

// The areas are read again a HOJIN's worth at a time, and a piece that fails sector by
// sector, with the copy's rules: two failures in a row give up the rest of the piece, and
// once the drive is gone or has used up its budget of failing reads, the rest stays as it
// was recorded. So an area that is still dead costs a few reads, not one per sector.
void HavExportJob::retryEarlierDamage(int64_t keptBytes) {
  earlierDamage_ = onRecordingsOwnSectors(earlierDamage_);
  PosixFile target;
  struct stat status {};
  if (const int error = folder_->openOnlyName(target, fileName(), false, false, status);
      error != 0) {
    addLine(textf("Beschädigte Stellen in \"%s\" nicht erneut gelesen: %s", path.c_str(),
                  describeError(error).c_str()),
            Severity::Error);
    return;
  }
  PhysicalDrive& drive = disk->getDrive();
  const bool costly = drive.source() && drive.source()->failuresAreCostly();
  DamageLedger remaining;
  int64_t tried = 0, recovered = 0, left = 0;
  bool stop = false;
  std::vector<uint8_t> piece(static_cast<size_t>(kHojinBytes));
  // Writes sectors [from, to) of the piece read for `part`; those not written stay recorded.
  auto writeRead = [&](const DamagedArea& part, int64_t from, int64_t to) {
    if (from >= to) return;
    const std::span<const uint8_t> bytes(piece.data() + static_cast<size_t>(from) * kSectorSize,
                                         static_cast<size_t>(to - from) * kSectorSize);
    // Zeros the disk gives are what the file holds already: writing them would change
    // nothing but the file's date.
    const bool zeros = std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
    if (!zeros) dropSumsHeld();  // whether it fails or not, the file may have changed
    if (zeros || target.writeAllAt(part.fileOffset + from * kSectorSize, bytes) == 0) {
      recovered += to - from;
      return;
    }
    remaining.add(
        {part.firstSector + from, to - from, part.fileOffset + from * kSectorSize, part.state});
  };
  for (const DamagedArea& area : earlierDamage_.areas()) {
    // Sectors beyond the kept part are copied anew anyway.
    const int64_t kept =
        std::clamp<int64_t>((keptBytes - area.fileOffset) / kSectorSize, 0, area.sectorCount);
    for (int64_t done = 0; done < kept;) {
      const int count = static_cast<int>(std::min<int64_t>(kSectorsPerHojin, kept - done));
      const DamagedArea part{area.firstSector + done, count, area.fileOffset + done * kSectorSize,
                             area.state};
      done += count;
      stop = stop || stopAsked() || (costly && budgetUsedUp(drive.failureStreak()));
      if (stop) {
        left += count;
        remaining.add(part);
        continue;
      }
      const SalvageResult read = readSalvaging(drive, part.firstSector, count, piece.data());
      if (read.zeroFilled() == 0) drive.endFailureStreak();
      tried += count - read.notTried;
      left += read.notTried;
      int64_t from = 0;
      for (const DamagedArea& zeros : read.damage.areas()) {
        const int64_t first = zeros.fileOffset / kSectorSize;  // within the piece
        writeRead(part, from, first);
        from = first + zeros.sectorCount;
        const DamageState state =
            zeros.state == DamageState::NotTried ? part.state : DamageState::Unreadable;
        remaining.add(
            {zeros.firstSector, zeros.sectorCount, part.fileOffset + zeros.fileOffset, state});
      }
      writeRead(part, from, count);
      stop = read.driveGone;
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
  if (left > 0)
    addLine(
        textf("  %s Sektoren nach Lesefehlern in Folge nicht versucht; sie bleiben verzeichnet.",
              formatThousands(left, '.').c_str()),
        Severity::Warning);
}

// A record names where on the disk the zeros of an area belong; only the file FAT says
// which sectors hold the recording's bytes for those file offsets. An area that names
// others (a record written by hand, or for another recording) is reported, and the
// sectors the file FAT gives are what stays recorded and what is read again, so that no
// other recording's bytes ever reach the file.
DamageLedger HavExportJob::onRecordingsOwnSectors(const DamageLedger& recorded) {
  DamageLedger own;
  for (const DamagedArea& area : recorded.areas()) {
    bool fits = true;
    for (int64_t done = 0; done < area.sectorCount;) {
      const int64_t offset = area.fileOffset + done * kSectorSize;
      const int64_t k = hojinAtFileOffset(offset);
      const int64_t within = (offset - hojinFileOffset(k)) / kSectorSize;
      const int64_t count = std::min<int64_t>(area.sectorCount - done, kSectorsPerHojin - within);
      const int64_t hojinSector =
          k >= 1 && k <= numberOfHojins + 1
              ? disk->getSectorNumberOfHojin(entry->getEntryNumber(), static_cast<int>(k))
              : -1;
      if (hojinSector < 0) {
        // The file FAT does not say (unreadable): the rest stays recorded as it was.
        own.add({area.firstSector + done, area.sectorCount - done, offset, area.state});
        break;
      }
      fits = fits && area.firstSector + done == hojinSector + within;
      own.add({hojinSector + within, count, offset, area.state});
      done += count;
    }
    if (!fits) {
      addLine(textf("Beschädigte Stelle bei Byte %s von \"%s\": Sektor %s passt nicht zur "
                    "Aufnahme; gelesen werden die Sektoren, die ihre Datei-FAT nennt.",
                    formatThousands(area.fileOffset, '.').c_str(), path.c_str(),
                    formatThousands(area.firstSector, '.').c_str()),
              Severity::Warning);
    }
  }
  return own;
}

// The areas of the kept part stay recorded (and so counted); the rest is copied anew.
void HavExportJob::keepEarlierDamage(int64_t keptBytes) {
  earlierDamage_ = onRecordingsOwnSectors(earlierDamage_);
  damage_.addAll(earlierDamage_.before(keptBytes));
  earlierDamage_ = {};
}

}  // namespace korvelo
