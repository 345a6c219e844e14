// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A second look at the File-FAT-Size after the verification failed: the verification
// goes by list position, which says nothing on a disk whose entry numbers are not
// their positions.

#include "recfs/fsr5000_disk.h"

namespace korvelo {

// Whether the File-FAT-Size held puts a recording start where the recordings' own entry
// numbers locate their first HOJINs, for at least one of the first 16 recordings that
// hold data (slots of zeros left out). The status text is kept.
bool firstHeadsConfirmFileFatSize(Fsr5000Disk& disk);

}  // namespace korvelo
