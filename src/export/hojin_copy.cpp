// SPDX-License-Identifier: GPL-3.0-or-later
// Copying one HOJIN of a recording into the open ".hav" file, with the checks on its
// head, the fragmentation note, and the sectors after the last whole HOJIN.

#include <algorithm>
#include <cstring>

#include "disk/physical_drive.h"
#include "disk/text.h"
#include "export/hav_export_job.h"
#include "export/hav_head.h"
#include "recfs/disk_layout.h"

namespace korvelo {
namespace {

// How far ahead of the HOJIN being copied the drive is told to read: about 4 MiB, asked
// for again in halves, so a disk keeps streaming while the file is being written.
constexpr int kHojinsAdvisedAhead = 128;

}  // namespace

int HavExportJob::remainderSectors() const {
  return entry ? static_cast<int>(entry->getLengthInSectors() % kSectorsPerHojin) : 0;
}

// The sectors after the last whole HOJIN lie where HOJIN N + 1 would begin; copying
// them lets the file reach the size its own head announces.
bool HavExportJob::isTailPiece() const {
  return currentHojin == numberOfHojins + 1 && remainderSectors() > 0;
}

void HavExportJob::copyHojin(bool suppressWarnings, bool advance) {
  bytesWritten = 0;
  percentWritten = 0;
  if (advance) ++currentHojin;
  const bool tail = isTailPiece();
  if (currentHojin <= numberOfHojins || tail) {
    currentSector = disk->getSectorNumberOfHojin(entry->getEntryNumber(), currentHojin);
    if (currentSector == -1 && tail) {
      // No HOJIN of its own: the sectors after the last whole one are what is missing.
      addLine(
          textf("Abbruch, da die %d Sektoren nach Hojin %d (von %d) nicht ermittelt werden "
                "konnten; die Datei behält die ganzen Hojins.",
                remainderSectors(), numberOfHojins, numberOfHojins));
    } else if (currentSector == -1) {
      addLine(textf("Abbruch, da Sektor des Hojin #%d (von %d) nicht ermittelt werden konnte.",
                    currentHojin, numberOfHojins));
    }
  }
  if ((currentHojin > numberOfHojins && !tail) || currentSector == -1) {
    endCopy();
    return;
  }

  const int sectorCount = tail ? remainderSectors() : kSectorsPerHojin;
  if (advance && !tail) adviseAhead();
  if (!readSectors(sectorCount)) {
    stopAsDriveGone();
    return;
  }
  const size_t bytes = static_cast<size_t>(sectorCount) * kSectorSize;
  if (!writeOrFail(
          hojin.getData(), bytes,
          textf("Fehler beim Schreiben von HOJIN %d von %d.", currentHojin, numberOfHojins),
          kDataNotWritten)) {
    return;
  }
  // The remainder is no HOJIN of its own: it has no head to check and no successor.
  if (tail) return;
  checkHojinHead(suppressWarnings);
  noteFragmentation();
}

// Reads sectorCount sectors from currentSector into the buffer; sectors that stay
// unreadable are zero-filled (no bytes of an earlier HOJIN reach the file), reported and
// recorded. A HOJIN of which no sector read at all is either a dead area or a drive that
// is gone: a sector the drive gave before tells which.
bool HavExportJob::readSectors(int sectorCount) {
  hojin.setSector(currentSector);
  const SalvageResult read =
      readSalvaging(disk->getDrive(), currentSector, sectorCount, hojin.getData());
  if (read.driveGone || (read.nothingRead() && !driveStillAnswers())) return false;
  if (!read.nothingRead()) lastGoodSector_ = currentSector + read.firstReadable;
  hojinUnreadable_ = read.zeroFilled() > 0;
  headUnread_ = !read.damage.empty() && read.damage.front().first == 0;
  if (read.zeroFilled() == 0) return true;
  ++damagedHojins_;
  unreadableSectors_ += read.zeroFilled();
  recordDamage(read);
  addOnNewLine(textf("Warnung: %d Sektoren des Hojin %d (von %d) nicht lesbar, mit Nullen gefüllt.",
                     read.zeroFilled(), currentHojin, numberOfHojins));
  if (read.notTried > 0) {
    addOnNewLine(textf("  Davon %d nach %d Lesefehlern in Folge nicht versucht.", read.notTried,
                       kFailuresInARowBeforeGivingUp));
  }
  return true;
}

void HavExportJob::recordDamage(const SalvageResult& read) {
  const int64_t hojinOffset = kHavFrontBytes + int64_t{currentHojin - 1} * kHojinBytes;
  for (const SectorDamage& piece : read.damage) {
    appendArea(damagedAreas_,
               DamagedArea{currentSector + piece.first, piece.count,
                           hojinOffset + int64_t{piece.first} * kSectorSize, piece.state});
  }
}

// One sector that read before read again: the last one this job read, else the
// recording's directory entry, else the signature every recorder disk was found by.
bool HavExportJob::driveStillAnswers() {
  int64_t probe = lastGoodSector_ >= 0 ? lastGoodSector_ : entry->getSector();
  if (probe < 0) probe = kSignatureFirstSector;
  uint8_t sector[kSectorSize];
  return disk->getDrive().readSectorInto(probe, 1, sector);
}

// Tells the drive where the coming HOJINs lie, one hint per run of HOJINs that follow
// one another on the disk. Only the copy steps ask; a job that merely opened its file
// (and may wait in the queue) does not fill the cache for later.
void HavExportJob::adviseAhead() {
  if (currentHojin + kHojinsAdvisedAhead / 2 <= advisedThrough_) return;
  PhysicalDrive& drive = disk->getDrive();
  const int last = std::min(numberOfHojins, currentHojin + kHojinsAdvisedAhead);
  int64_t runStart = -1;
  int64_t runSectors = 0;
  for (int k = std::max(currentHojin, advisedThrough_ + 1); k <= last; ++k) {
    const int64_t sector = k == currentHojin
                               ? currentSector
                               : disk->getSectorNumberOfHojin(entry->getEntryNumber(), k);
    if (sector < 0) break;  // the copy stops there anyway
    if (runStart >= 0 && sector == runStart + runSectors) {
      runSectors += kSectorsPerHojin;
      continue;
    }
    if (runStart >= 0) drive.adviseSequential(runStart, runSectors);
    runStart = sector;
    runSectors = kSectorsPerHojin;
  }
  if (runStart >= 0) drive.adviseSequential(runStart, runSectors);
  advisedThrough_ = last;
}

// The first failing check adds its warning and ends the checks; HOJIN 1 always goes
// through all of them. A wrong head counts as damage whether it is warned about or not
// (a HOJIN with unreadable sectors counts as damaged already). A head that could not be
// read is zeros: nothing about it is warned of, its HOJIN is counted under the damage.
void HavExportJob::checkHojinHead(bool suppressWarnings) {
  const uint32_t internal = hojin.getInternalNumber();
  const uint32_t internal2 = hojin.getInternalNumber2();
  if (!hojinUnreadable_ && (!hojin.hasSignature() || internal != internal2 ||
                            static_cast<uint32_t>(currentHojin) != internal))
    ++wrongHeadHojins_;
  if (headUnread_) return;
  if (!suppressWarnings && !hojin.hasSignature()) {
    addOnNewLine(textf("Warnung: Signatur des Hojin %d  (von %d) fehlerhaft.", currentHojin,
                       numberOfHojins));
    addOnNewLine(hojin.dumpHead());
  } else if (!suppressWarnings && internal != internal2) {
    // Signed, as the recorder tools have always shown them: 0xFFFFFFFF is -1.
    addOnNewLine(textf("Warnung: Hojin %d (von %d) hat die interne Nummer %d und %d.", currentHojin,
                       numberOfHojins, static_cast<int32_t>(internal),
                       static_cast<int32_t>(internal2)));
    addOnNewLine(hojin.dumpHead());
  } else if (static_cast<uint32_t>(currentHojin) != internal) {
    addOnNewLine(
        textf("Warnung: Reihenfolge ist falsch, Hojin %d (von %d) hat die interne Nummer %u.",
              currentHojin, numberOfHojins, internal));
    addOnNewLine(hojin.dumpHead());
  } else if (currentHojin == 1 && !hojin.isRecordingStart()) {
    addOnNewLine(
        textf("Warnung: Erster Hojin (von %d) ist kein Aufzeichnungsanfang.", numberOfHojins));
  }
}

void HavExportJob::noteFragmentation() {
  previousSector = currentSector;
  if (currentHojin >= numberOfHojins) return;
  currentSector = disk->getSectorNumberOfHojin(entry->getEntryNumber(), currentHojin + 1);
  if (currentSector != previousSector + kSectorsPerHojin) fragmented = true;
}

// The drive no longer answers: nothing of the current HOJIN is written, so the file ends
// after the last whole HOJIN that was read and can be continued once the drive is back.
void HavExportJob::stopAsDriveGone() {
  addOnNewLine(
      textf("Das Laufwerk antwortet nicht mehr: Hojin %d (von %d) ließ sich nicht lesen, "
            "der Export ist angehalten.",
            currentHojin, numberOfHojins));
  const std::string held = currentHojin > 1 ? textf("die Hojins 1 bis %d", currentHojin - 1)
                                            : std::string("noch keinen Hojin");
  addOnNewLine(
      textf("  Die Datei \"%s\" enthält %s. Laufwerk wieder anschließen, "
            "dann mit \"korvelo-cli export --resume\" fortsetzen.",
            path.c_str(), held.c_str()));
  copying = false;
  closeForFinish();
  errorCode = kDriveGone;  // also after a failed sync: the queue must stop all the same
}

// The copy is over: past the last HOJIN, or a sector was not determinable.
void HavExportJob::endCopy() {
  copying = false;
  closeForFinish();
}

}  // namespace korvelo
