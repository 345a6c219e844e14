// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recorder-disk object's cache of the most recently loaded file FAT.

#include <memory>

#include "recfs/file_fat.h"
#include "recfs/fsr5000_disk.h"

namespace korvelo {

struct Fsr5000Disk::FatCache {
  int entryNumber = -1;
  int fileFatSize = 0;  // the F the file FAT was read with
  FileFat fat;

  bool holds(int entry, int size) const { return entryNumber == entry && fileFatSize == size; }
};

}  // namespace korvelo
