// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace korvelo {

// Estimate of the File-FAT-Size from the drive geometry: -1 when the drive cannot
// be opened, 0 when it is not a fixed or removable disk. Replaces the status text
// with its eleven-line report when it computes an estimate.
int calcFAT(char driveChar);

}  // namespace korvelo
