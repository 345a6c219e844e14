// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/fsr5000_disk.h"

#include "disk/text.h"
#include "recfs/fat_cache.h"
#include "recfs/hojin_buffer.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

constexpr int kLargestProbedFatSize = 255;

}  // namespace

Fsr5000Disk::Fsr5000Disk(char driveChar) : Fsr5000Disk(driveChar, kFsr5000Layout) {}

Fsr5000Disk::Fsr5000Disk(char driveChar, const DiskLayout& layout)
    : driveChar(driveChar), layout_(layout), cache_(std::make_unique<FatCache>()) {
  if (drive.open(driveChar)) {
    clearStatus();
  } else {
    setStatus(textf("  Konnte nicht auf das Laufwerk %c zugreifen.", driveChar));
  }
}

// The drive, the entries and the file FATs held are released by their owners.
Fsr5000Disk::~Fsr5000Disk() = default;

void Fsr5000Disk::setSizeFileFAT(int value) {
  fileFatSize = value;
}

// The smallest F for which the first sector of the data area it implies is a HOJIN
// A-sector. Only the A-sector decides, so only it is read: a bad sector further inside
// that HOJIN must not hide the value. An unreadable candidate counts as no signature.
int Fsr5000Disk::getSizeFileFAT() {
  if (fileFatSize > 0) return fileFatSize;
  HojinBuffer candidate;
  for (int size = 1; size <= kLargestProbedFatSize; ++size) {
    const int64_t start = layout_.dataAreaStart(size);
    if (!drive.readSectorInto(start, 1, candidate.getData())) {
      if (drive.answersNoMore()) break;
      continue;
    }
    candidate.setSector(start);
    if (candidate.hasSignature()) {
      fileFatSize = size;
      break;
    }
  }
  setStatus(textf("Automatisch ermittelter \"File-FAT-Size\": %d", fileFatSize));
  return fileFatSize;
}

}  // namespace korvelo
