// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A sparse image file of a disk that holds only chosen sectors, each at its own place;
// everything else reads as zeros. Small enough to pass on, and readable like the disk.

#include <cstdint>
#include <string>

#include "disk/physical_drive.h"
#include "recfs/disk_domain.h"

namespace korvelo {

struct SectorImageResult {
  int error = 0;  // errno of the failure that ended the writing; 0: the image is complete
  int64_t copiedSectors = 0;
  int64_t unreadableSectors = 0;  // left zero in the image
};

// Creates the image (O_EXCL unless `overwrite`; a symbolic link in its place is refused
// with ELOOP, an existing target that is not a regular file with ENOTSUP), makes it
// imageBytes long, and copies the sectors from the drive. Sectors at or past imageBytes
// are left out. Synced before it is closed.
SectorImageResult writeSectorImage(PhysicalDrive& drive, const SectorRanges& sectors,
                                   int64_t imageBytes, const std::string& path, bool overwrite);

}  // namespace korvelo
