// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recordings for disk descriptions, and what their ".hav" head must hold, worked out by
// hand from the file layout (never through the program's own code).

#include <cstdint>
#include <vector>

#include "diskbuilder/disk_description.h"

namespace korvelo::test {

// "Aufnahme <slot>" in `slot`, with the same entry number, of `sectors` sectors in the
// given blocks.
sample::Recording numberedRecording(int slot, std::vector<uint32_t> blocks, uint32_t sectors,
                                    uint32_t durationMs);

// The 88-byte ".hav" head: 113, the sizes, 1536, the title up to its first NUL (33 bytes
// at most), the duration in seconds and the data size in KiB.
std::vector<uint8_t> handMadeHead(const sample::Recording& recording);

// Whether a HOJIN head of the recording fails the signature or number checks, so that its
// file, though byte for byte the disk's, does not count as complete.
bool hasWrongHead(const sample::Recording& recording);

// The demo disk with entry 1's file FAT overwritten with entry 0's: both name blocks 0 to 6,
// so entry 1 ("Tagesschau", 15 HOJINs in one block) copies the first HOJINs of entry 0,
// whose heads look right for it.
sample::DiskDescription crossLinkedDemoDisk();

}  // namespace korvelo::test
