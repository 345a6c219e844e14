// SPDX-License-Identifier: GPL-3.0-or-later
#include <stdexcept>

#include "support/built_disk.h"

// Apart from built_disk.cpp: tests that only build images (the programs' runs) need no
// recorder file system linked in.
namespace korvelo::test {

std::unique_ptr<Fsr5000Disk> openRecorder(const sample::DiskDescription& description,
                                          bool requireDirectory) {
  std::unique_ptr<Fsr5000Disk> disk;
  if (description.model == sample::Model::Tevion) {
    disk = std::make_unique<Pvr8005Disk>('0');
  } else {
    disk = std::make_unique<Fsr5000Disk>('0');
  }
  disk->setSizeFileFAT(description.fileFatSize);
  if (!disk->readDirectory(false) && requireDirectory)
    throw std::runtime_error("directory of the sample disk not read");
  return disk;
}

}  // namespace korvelo::test
