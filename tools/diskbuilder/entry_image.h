// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 1536-byte directory entry image the builder writes into a slot.

#include <cstdint>
#include <vector>

#include "diskbuilder/disk_description.h"

namespace korvelo::sample {

// Fields big-endian as the recorder writes them; every byte no field covers holds a
// non-zero pattern that depends on the entry number, so a copy that is not byte-exact shows.
std::vector<uint8_t> entryImage(const Recording& recording);

// The image of an empty slot: bytes 0 and 1 are 0xFF, the rest the pattern.
std::vector<uint8_t> emptySlotImage(int slot);

}  // namespace korvelo::sample
