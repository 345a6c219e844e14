// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 65 sectors of one HOJIN as the builder writes them: the A-sector head, then payload.

#include <cstdint>

#include "diskbuilder/disk_description.h"

namespace korvelo::sample {

// Fills 33280 bytes for HOJIN k (from 1) of a recording whose A-sector is firstSector.
// The head fields follow the defect; every other byte is fillPayload of its own sector.
void fillHojin(int64_t firstSector, int k, HeadDefect defect, uint8_t* hojin33280);

}  // namespace korvelo::sample
