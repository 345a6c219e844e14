// SPDX-License-Identifier: GPL-3.0-or-later
// Copying one HOJIN of a recording into the open ".hav" file, with the checks on its
// head, the fragmentation note, and the sectors after the last whole HOJIN.

#include <algorithm>
#include <cstring>

#include "disk/physical_drive.h"
#include "disk/text.h"
#include "export/hav_export_job.h"
#include "export/hav_geometry.h"
#include "export/hav_head.h"
#include "export/hojin_head_check.h"
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

// The HOJINs the copy goes through: the recording's whole ones, and the piece after them.
int HavExportJob::lastPlannedHojin() const {
  return numberOfHojins + (remainderSectors() > 0 ? 1 : 0);
}

int HavExportJob::sectorsOfHojin(int k) const {
  return k == numberOfHojins + 1 ? remainderSectors() : kSectorsPerHojin;
}

ReadPlan& HavExportJob::plan() {
  if (!plan_) {
    const ByteSource* source = disk->getDrive().source();
    plan_.emplace(lastPlannedHojin(), source && source->failuresAreCostly());
  }
  return *plan_;
}

void HavExportJob::copyHojin(bool suppressWarnings, bool advance) {
  bytesWritten = 0;
  percentWritten = 0;
  if (advance && currentHojin <= lastPlannedHojin()) ++currentHojin;
  const bool tail = isTailPiece();
  if (currentHojin <= numberOfHojins || tail) {
    currentSector = disk->getSectorNumberOfHojin(entry->getEntryNumber(), currentHojin);
    if (currentSector == -1 && tail) {
      // No HOJIN of its own: the sectors after the last whole one are what is missing.
      addLine(textf("Abbruch, da die %d Sektoren nach Hojin %d (von %d) nicht ermittelt werden "
                    "konnten; die Datei behält die ganzen Hojins.",
                    remainderSectors(), numberOfHojins, numberOfHojins),
              Severity::Error);
    } else if (currentSector == -1) {
      addLine(textf("Abbruch, da Sektor des Hojin #%d (von %d) nicht ermittelt werden konnte.",
                    currentHojin, numberOfHojins),
              Severity::Error);
    }
  } else if (currentSector != -1 && trimStep(suppressWarnings)) {
    return;  // the first pass is over: what it jumped over is read from its far edge
  }
  if ((currentHojin > numberOfHojins && !tail) || currentSector == -1) {
    endCopy();
    return;
  }

  const int sectorCount = sectorsOfHojin(currentHojin);
  const ReadPlan::Move move = plan().next(currentHojin);
  if (move == ReadPlan::Move::Skip) {
    skipHojin(sectorCount);
    return;
  }
  const ByteSource* source = disk->getDrive().source();
  const bool ahead = advance && !tail && source && source->readsAhead();
  if (advance && !tail && !ahead) adviseAhead();
  if (!readSectors(sectorCount, move == ReadPlan::Move::Probe, ahead)) {
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
  if (!tail && !hojinNotTried_) checkHojinHead(suppressWarnings, currentHojin);
  noteJump();
  // The remainder is no HOJIN of its own: it has no head to check and no successor.
  if (!tail) noteFragmentation();
}

// A HOJIN the plan jumps over: zeros in the file, not tried, until the trim reads it. The
// sums of the file are taken from the file itself from here on, once it is whole.
void HavExportJob::skipHojin(int sectorCount) {
  if (sums_ && digestHeldFrom_ < 0) digestHeldFrom_ = hojinFileOffset(currentHojin);
  static const std::vector<uint8_t> zeros(static_cast<size_t>(kHojinBytes));
  if (!writeOrFail(
          zeros.data(), static_cast<size_t>(sectorCount) * kSectorSize,
          textf("Fehler beim Schreiben von HOJIN %d von %d.", currentHojin, numberOfHojins),
          kDataNotWritten)) {
    return;
  }
  if (!isTailPiece()) noteFragmentation();
}

// Reads sectorCount sectors from currentSector into the buffer; sectors that stay
// unreadable are zero-filled (no bytes of an earlier HOJIN reach the file), reported and
// recorded. A HOJIN of which no sector read at all is either a dead area or a drive that
// is gone: a sector the drive gave before tells which, and so does the budget of failing
// reads without one whole HOJIN. A probe is read once; when that fails, it is left to the
// plan, as the HOJINs jumped over are.
bool HavExportJob::readSectors(int sectorCount, bool probe, bool ahead) {
  hojin.setSector(currentSector);
  PhysicalDrive& drive = disk->getDrive();
  const SalvageResult read =
      probe   ? readWhole(drive, currentSector, sectorCount, hojin.getData())
      : ahead ? readFromRun(sectorCount)
              : readSalvaging(drive, currentSector, sectorCount, hojin.getData());
  if (read.driveGone || (read.nothingRead() && !driveStillAnswers())) return false;
  if (read.zeroFilled() > 0 && plan().isJumping() && budgetUsedUp(drive.failureStreak())) {
    budgetUsedUp_ = true;
    return false;
  }
  if (!read.nothingRead()) lastGoodSector_ = currentSector + read.firstReadable;
  if (read.zeroFilled() == 0) drive.endFailureStreak();
  plan().outcome(currentHojin, read.zeroFilled() == 0 ? ReadPlan::Outcome::Good
                               : read.nothingRead() || read.notTried > 0
                                   ? ReadPlan::Outcome::Failed
                                   : ReadPlan::Outcome::Damaged);
  hojinUnreadable_ = read.zeroFilled() > 0;
  headUnread_ = !read.damage.empty() && read.damage.areas().front().fileOffset == 0;
  hojinNotTried_ = probe && hojinUnreadable_;
  if (hojinNotTried_) {
    addOnNewLine(textf("Warnung: Hojin %d (von %d) nicht lesbar, vorerst mit Nullen gefüllt.",
                       currentHojin, numberOfHojins),
                 Severity::Warning);
  } else if (read.zeroFilled() > 0) {
    damage_.addAll(read.damage, hojinFileOffset(currentHojin));
    // A detail: the recording's one "Beschädigt: ..." line is what a quiet run shows of it.
    addOnNewLine(textf("Warnung: %d %s des Hojin %d (von %d) nicht lesbar, mit Nullen gefüllt.",
                       read.zeroFilled(), read.zeroFilled() == 1 ? "Sektor" : "Sektoren",
                       currentHojin, numberOfHojins),
                 Severity::Info);
    if (read.notTried > 0) {
      addOnNewLine(textf("  Davon %d nach %d Lesefehlern in Folge nicht versucht.", read.notTried,
                         kFailuresInARowBeforeGivingUp),
                   Severity::Info);
    }
  }
  return true;
}

// The HOJIN from the large requests that read its run of HOJINs, the next request asked
// for as soon as one is taken. The HOJINs of a request that failed are read as before,
// HOJIN by HOJIN with each failing one sector by sector, except that those up to the
// first failing sector are read sector by sector at once: the failed request stands for
// the failing whole read of that HOJIN, so a bad area costs no read more than it did.
SalvageResult HavExportJob::readFromRun(int sectorCount) {
  PhysicalDrive& drive = disk->getDrive();
  if (currentHojin > aheadThrough_ && currentHojin > failedThrough_ && plan().currentJump() == 0)
    beginRun(currentHojin, currentSector);
  switch (drive.takeAhead(currentSector, sectorCount, hojin.getData())) {
    case PhysicalDrive::Ahead::Copied: {
      if (!drive.aheadUnderWay() && aheadThrough_ < numberOfHojins)
        beginRun(aheadThrough_ + 1,
                 disk->getSectorNumberOfHojin(entry->getEntryNumber(), aheadThrough_ + 1));
      SalvageResult whole;
      whole.firstReadable = 0;
      return whole;
    }
    case PhysicalDrive::Ahead::Failed:
      if (failedThrough_ < currentHojin) seekingFailure_ = true;
      failedThrough_ = aheadThrough_;
      break;
    case PhysicalDrive::Ahead::NotHeld:
      break;
  }
  if (!seekingFailure_ || currentHojin > failedThrough_)
    return readSalvaging(drive, currentSector, sectorCount, hojin.getData());
  SalvageResult read =
      readSalvaging(drive, currentSector, sectorCount, hojin.getData(), /*wholeFirst=*/false);
  if (read.zeroFilled() > 0) {
    seekingFailure_ = false;
    drive.chargeAheadFailure();
  }
  return read;
}

// Asks for the HOJINs from k (at `sector`) on that follow one another on the disk, as
// many as one request holds.
void HavExportJob::beginRun(int k, int64_t sector) {
  constexpr int kMostHojins = static_cast<int>(kLargestAheadBytes / kHojinBytes);
  if (sector < 0) return;
  int count = 1;
  while (count < kMostHojins && k + count <= numberOfHojins &&
         disk->getSectorNumberOfHojin(entry->getEntryNumber(), k + count) ==
             sector + int64_t{count} * kSectorsPerHojin)
    ++count;
  if (disk->getDrive().readAhead(sector, count * kSectorsPerHojin)) aheadThrough_ = k + count - 1;
}

// The line that tells of a jump the plan begins after this HOJIN.
void HavExportJob::noteJump() {
  if (plan().currentJump() == 0) return;  // no jump begins here
  const int first = currentHojin + 1;
  const int last = std::min(currentHojin + plan().currentJump(), lastPlannedHojin());
  if (first > last) return;
  const std::string which =
      first == last ? textf("Hojin %d", first) : textf("Hojins %d bis %d", first, last);
  addOnNewLine(textf("Warnung: %s (von %d) übersprungen und vorerst mit Nullen gefüllt "
                     "(Lesefehler; am Schluss wird von hinten her nachgelesen).",
                     which.c_str(), numberOfHojins),
               Severity::Warning);
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
// (a HOJIN with unreadable sectors counts as damaged already).
void HavExportJob::checkHojinHead(bool suppressWarnings, int k) {
  const uint32_t internal = hojin.getInternalNumber();
  const uint32_t internal2 = hojin.getInternalNumber2();
  if (!hojinUnreadable_ && isWrongHead(hojinHeadFault(hojin, k))) ++wrongHeadHojins_;
  if (headUnread_) return;  // zeros, not a head: counted under the damage, not warned of
  if (!suppressWarnings && !hojin.hasSignature()) {
    addOnNewLine(textf("Warnung: Signatur des Hojin %d  (von %d) fehlerhaft.", k, numberOfHojins),
                 Severity::Warning);
    addOnNewLine(hojin.dumpHead(), Severity::Warning);
  } else if (!suppressWarnings && internal != internal2) {
    // Signed, as the recorder's tools show them: 0xFFFFFFFF is -1.
    addOnNewLine(
        textf("Warnung: Hojin %d (von %d) hat die interne Nummer %d und %d.", k, numberOfHojins,
              static_cast<int32_t>(internal), static_cast<int32_t>(internal2)),
        Severity::Warning);
    addOnNewLine(hojin.dumpHead(), Severity::Warning);
  } else if (static_cast<uint32_t>(k) != internal) {
    addOnNewLine(
        textf("Warnung: Reihenfolge ist falsch, Hojin %d (von %d) hat die interne Nummer %d.", k,
              numberOfHojins, static_cast<int32_t>(internal)),
        Severity::Warning);
    addOnNewLine(hojin.dumpHead(), Severity::Warning);
  } else if (k == 1 && !hojin.isRecordingStart()) {
    addOnNewLine(
        textf("Warnung: Erster Hojin (von %d) ist kein Aufzeichnungsanfang.", numberOfHojins),
        Severity::Warning);
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
  addOnNewLine(textf("Das Laufwerk antwortet nicht mehr: Hojin %d (von %d) ließ sich nicht lesen, "
                     "der Export ist angehalten.",
                     currentHojin, numberOfHojins),
               Severity::Error);
  if (budgetUsedUp_) {
    const ReadCosts& streak = disk->getDrive().failureStreak();
    addOnNewLine(textf("  Seit dem letzten ganz gelesenen Hojin sind %d Lesezugriffe "
                       "fehlgeschlagen (zusammen %s s); mehr wird der Festplatte nicht zugemutet.",
                       streak.failingReads, formatSeconds(streak.failingMillis).c_str()),
                 Severity::Error);
  }
  const std::string held = currentHojin > 1 ? textf("die Hojins 1 bis %d", currentHojin - 1)
                                            : std::string("noch keinen Hojin");
  addOnNewLine(textf("  Die Datei \"%s\" enthält %s. Laufwerk wieder anschließen, "
                     "dann mit \"korvelo-cli export --resume\" fortsetzen.",
                     path.c_str(), held.c_str()),
               Severity::Error);
  copying = false;
  closeForFinish();
  errorCode = kDriveGone;  // also after a failed sync: the queue must stop all the same
}

// One HOJIN of the trim after the first pass, read whole and written in its place in the
// file. False when there is nothing (more) to trim.
bool HavExportJob::trimStep(bool suppressWarnings) {
  if (!plan_ || trimOver_) return false;
  const std::optional<int> k = plan_->nextTrim();
  if (!k) {
    endTrim();
    return false;
  }
  ++trimReads_;
  PhysicalDrive& drive = disk->getDrive();
  const int64_t sector = disk->getSectorNumberOfHojin(entry->getEntryNumber(), *k);
  const int sectorCount = sectorsOfHojin(*k);
  hojin.setSector(sector);
  if (sector < 0 || !drive.readSectorInto(sector, sectorCount, hojin.getData())) {
    plan_->trimmed(*k, false);
    // A drive that is gone ends the trim; the next read of the export finds it gone too.
    if ((sector >= 0 && readFailedForGone(drive, sector)) || !plan_->hasTrimWork()) endTrim();
    return true;
  }
  drive.endFailureStreak();
  const std::span<const uint8_t> bytes(hojin.getData(),
                                       static_cast<size_t>(sectorCount) * kSectorSize);
  if (const int error = file.writeAllAt(hojinFileOffset(*k), bytes); error != 0) {
    addOnNewLine(textf("Fehler beim Schreiben von HOJIN %d von %d.", *k, numberOfHojins),
                 Severity::Error);
    addOnNewLine(textf("  FileException: %s", describeError(error).c_str()), Severity::Error);
    file.discard();
    copying = false;
    errorCode = kDataNotWritten;
    return true;
  }
  plan_->trimmed(*k, true);
  ++trimmedHojins_;
  hojinUnreadable_ = false;
  if (*k <= numberOfHojins) checkHojinHead(suppressWarnings, *k);
  if (!plan_->hasTrimWork()) endTrim();
  return true;
}

void HavExportJob::endTrim() {
  if (trimOver_) return;
  trimOver_ = true;
  if (trimReads_ == 0) return;
  int left = 0;
  for (const HojinRun& run : plan_->notTried()) left += run.count();
  addOnNewLine(textf("Übersprungene Hojins nachgelesen: %d lesbar, %d nicht; %d %s "
                     "nicht versucht und mit Nullen gefüllt (\"--retry-bad\" liest %s erneut).",
                     trimmedHojins_, trimReads_ - trimmedHojins_, left,
                     left == 1 ? "Hojin bleibt" : "Hojins bleiben", left == 1 ? "ihn" : "sie"),
               left > 0 ? Severity::Warning : Severity::Info);
}

// The HOJINs the plan left not tried (jumped over, or a probe that failed) are recorded
// with the zeros the file holds for them, once the copy is over however it ends.
void HavExportJob::recordNotTried() {
  if (!plan_ || notTriedRecorded_) return;
  notTriedRecorded_ = true;
  for (const HojinRun& run : plan_->notTried()) {
    for (int k = run.first; k <= run.last; ++k) {
      const int64_t sector = disk->getSectorNumberOfHojin(entry->getEntryNumber(), k);
      const int count = sectorsOfHojin(k);
      if (sector < 0) continue;
      damage_.insert({sector, count, hojinFileOffset(k), DamageState::NotTried});
    }
  }
}

// The copy is over: past the last HOJIN, or a sector was not determinable.
void HavExportJob::endCopy() {
  copying = false;
  closeForFinish();
}

}  // namespace korvelo
