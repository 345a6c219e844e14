// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a run of sectors from a disk that may have bad ones: the whole run at once,
// and when that fails, sector by sector, so that only the sectors that fail are lost.
// A run whose sectors fail one after the other is given up on early: the rest of it is
// zero-filled without being tried, which keeps a dead area from costing minutes.

#include <cstdint>
#include <vector>

#include "disk/physical_drive.h"
#include "export/damage_ledger.h"

namespace korvelo {

// After this many failing sectors in a row the rest of a run is not tried, on a drive
// whose failing reads cost time (a disk, not an image).
inline constexpr int kFailuresInARowBeforeGivingUp = 2;

struct SalvageResult {
  // The zero-filled sectors, their file offsets counted from the run's first byte.
  DamageLedger damage;
  int unreadable = 0;      // sectors tried that failed
  int notTried = 0;        // sectors left after giving up
  int firstReadable = -1;  // a sector of the run that read, -1 when none did
  bool driveGone = false;  // a read failed as a detached drive fails

  int zeroFilled() const { return unreadable + notTried; }
  bool nothingRead() const { return firstReadable < 0; }
};

// Reads sectorCount sectors from `first` into data. Sectors that stay unreadable or are
// not tried are zero-filled, so that no bytes of an earlier read remain. Once the drive
// reports that it is gone, nothing further is read and the rest is zero-filled. Without
// `wholeFirst` the run is read sector by sector from the start: a larger read around it
// has failed already, and reading the run whole would only fail once more.
SalvageResult readSalvaging(PhysicalDrive& drive, int64_t first, int sectorCount, uint8_t* data,
                            bool wholeFirst = true);

// One read of the whole run and no more (the probe after a jump over a dead area): when it
// fails, every sector is zero-filled and counted as not tried.
SalvageResult readWhole(PhysicalDrive& drive, int64_t first, int sectorCount, uint8_t* data);

// Whether a failed read of `sector` says the drive itself is no longer there (ENODEV,
// ENOMEDIUM, or ENXIO for a sector inside the medium; a read past its end is no sign).
bool readFailedForGone(const PhysicalDrive& drive, int64_t sector);

}  // namespace korvelo
