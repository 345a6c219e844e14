// SPDX-License-Identifier: GPL-3.0-or-later
// Tests the File-FAT-Size on the first HOJINs of up to 16 recordings: each must be
// a HOJIN head that starts a recording where the current value puts it.

#include <cinttypes>
#include <string>

#include "disk/text.h"
#include "recfs/fat_confirmation.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/hojin_buffer.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

constexpr size_t kRecordingsTested = 16;
constexpr int kFatSizeSearchLimit = 256;

}  // namespace

// Reads the A-sector of the first HOJIN of the recording at a list position into
// `hojin`: the tests look at its head alone, and a bad sector behind the head says
// nothing about the File-FAT-Size. The location's trace lines must not reach the
// caller, so the status text is kept.
bool Fsr5000Disk::readFirstHojin(int position, HojinBuffer& hojin, int64_t& sector) {
  const std::string kept = statusText();
  sector = getSectorNumberOfHojin(position, 1);
  setStatus(kept);
  if (sector < 0) return false;
  if (!drive.readSectorInto(sector, 1, hojin.getData())) return false;
  hojin.setSector(sector);
  return true;
}

bool firstHeadsConfirmFileFatSize(Fsr5000Disk& disk) {
  if (disk.heldFileFatSize() <= 0) return false;
  const std::string kept = statusText();
  HojinBuffer hojin;
  size_t tested = 0;
  bool confirmed = false;
  for (const auto& entry : disk.getEntries()) {
    if (tested == kRecordingsTested || confirmed || disk.getDrive().answersNoMore()) break;
    if (entry->isBlank()) continue;
    ++tested;
    const int64_t sector = disk.getSectorNumberOfHojin(entry->getEntryNumber(), 1);
    confirmed = sector >= 0 && disk.getDrive().readSectorInto(sector, 1, hojin.getData()) &&
                hojin.hasSignature() && hojin.isRecordingStart();
  }
  setStatus(kept);
  return confirmed;
}

int Fsr5000Disk::verifySizeFileFAT() {
  // Slots that could not be read do not stop the test: it takes the entries there are.
  if (!directoryRead) readDirectory(false);
  if (!directoryRead) {
    setStatus(textf("Konnte Verzeichnis der %s-Festplatte nicht lesen.", layout_.modelName));
    return -1;
  }
  const int before = fileFatSize;
  clearStatus();
  if (entries.empty()) {
    setStatus("Keine Aufzeichnungen gefunden, \"File-FAT-Size\"-Überprüfung nicht möglich.");
    return fileFatSize;
  }

  HojinBuffer hojin;
  int tested = 0;
  int good = 0;
  for (size_t position = 0; position < entries.size() && position < kRecordingsTested; ++position) {
    const int index = static_cast<int>(position);
    if (entries[position]->isBlank()) continue;  // a slot of zeros holds no recording to test
    const int entryNumber = entries[position]->getEntryNumber();
    if (entryNumber != index) {
      addStatusLine(
          textf("Strukturfehler! Interner Index %d von Verzeichniseintrag %d stimmt nicht!",
                entryNumber, index));
    }
    int64_t sector = -1;
    if (!readFirstHojin(index, hojin, sector)) {
      addStatusLine(textf(
          "Fehler beim Lesen mit \"File-FAT-Size\" %d des StartHOJIN %d aus Sektor %" PRId64 ".",
          fileFatSize, index, sector));
      fileFatSize = before;
      addStatusLine(
          textf("Überprüfung ergab keinen gültigen \"File-FAT-Size\"-Wert unterhalb von %d.",
                kFatSizeSearchLimit));
      return -1;
    }
    ++tested;
    if (hojin.hasSignature() && hojin.isRecordingStart()) ++good;
  }

  if (tested == 0) {  // only slots of zeros
    setStatus("Keine Aufzeichnungen gefunden, \"File-FAT-Size\"-Überprüfung nicht möglich.");
    return fileFatSize;
  }
  const double percent = static_cast<double>(good) / tested * 100.0;
  setStatus(textf("Überprüfung bestätigt %d als \"File-FAT-Size\"-Wert (%3.0f%%).", fileFatSize,
                  percent));
  return fileFatSize;
}

}  // namespace korvelo
