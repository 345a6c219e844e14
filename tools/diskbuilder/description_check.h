// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Refuses descriptions that cannot be laid out as asked, before anything is written, so a test
// that sets up a disk wrongly fails with a reason instead of testing a disk it did not mean.

#include "diskbuilder/disk_description.h"

namespace korvelo::sample {

// Throws std::runtime_error naming the first problem found.
void checkDescription(const DiskDescription& disk);

}  // namespace korvelo::sample
