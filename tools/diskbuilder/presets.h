// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ready-made disks for the demo and the benchmarks.

#include <cstdint>

#include "diskbuilder/disk_description.h"

namespace korvelo::sample {

// A 160 GB FSR-5000 disk with F = 72 and five recordings in slots 0..4 numbered 0..4: one of 100
// HOJINs, one fragmented over three distant blocks, one whose length is not a multiple of 65
// sectors, Latin-1 titles and realistic stamps and durations.
DiskDescription demoDisk();

// An FSR-5000 disk with F = 72 and one recording of at least recordingBytes of data (whole
// HOJINs), its blocks in runs of at most seven with a gap after each run, so a copy has to
// follow the file FAT (a recording of a single block cannot be fragmented). The image grows
// beyond 160 GB when the recording needs it.
DiskDescription benchDisk(uint64_t recordingBytes);

// A 160 GB FSR-5000 disk with F = 72 and every one of the 2000 directory slots in use, slot k
// holding entry k: mixed lengths (weights 1 to 16, every fifth one with a part HOJIN at its end)
// sharing about dataBytes of data, at least one HOJIN each. The recordings are laid down three at
// a time in runs of one to four blocks, spread with gaps over the whole data area, so each one is
// fragmented and the recordings' blocks interleave. Only the data is written; the gaps stay sparse.
DiskDescription fullDisk(uint64_t dataBytes);

}  // namespace korvelo::sample
