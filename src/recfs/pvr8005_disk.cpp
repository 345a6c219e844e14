// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/fsr5000_disk.h"

// The Tevion disk uses the same algorithms as the FSR-5000 one; only the layout it
// was constructed with differs, so every operation hands over to the shared code.

namespace korvelo {

Pvr8005Disk::Pvr8005Disk(char driveChar) : Fsr5000Disk(driveChar, kPvr8005Layout) {}

Pvr8005Disk::~Pvr8005Disk() = default;

bool Pvr8005Disk::readDirectory(bool force) {
  return Fsr5000Disk::readDirectory(force);
}

int Pvr8005Disk::getNumberOfEntries() {
  return Fsr5000Disk::getNumberOfEntries();
}

int Pvr8005Disk::getSizeFileFAT() {
  return Fsr5000Disk::getSizeFileFAT();
}

int64_t Pvr8005Disk::getSectorNumberOfHojin(int entryNumber, int hojinNumber) {
  return Fsr5000Disk::getSectorNumberOfHojin(entryNumber, hojinNumber);
}

int Pvr8005Disk::verifySizeFileFAT() {
  return Fsr5000Disk::verifySizeFileFAT();
}

}  // namespace korvelo
