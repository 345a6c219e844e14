// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The machine's whole disks with what the device manager knows about them. udev is
// asked first; where it does not run (containers, rescue systems) /sys/block alone
// gives the same disks in the same order, with what sysfs itself can say.

#include <cstdint>
#include <string>
#include <vector>

namespace korvelo {

struct MachineDisk {
  std::string path;    // "/dev/sda"
  std::string model;   // empty when unknown
  std::string serial;  // empty when unknown
  uint64_t sizeBytes = 0;
  std::string bus;  // "usb", "ata", "nvme", "scsi", "virtio", "mmc"; empty when unknown
  bool removable = false;
};

enum class DiskCatalog {
  automatic,  // udev when its daemon runs, /sys/block otherwise
  udev,
  sysfs,
};

// Whole disks with a medium (sd*, nvme*n*, vd*, hd*, mmcblk*; never loop, ram, zram,
// sr, dm, md), ordered by family in that order and by kernel name within a family:
// sdz before sdaa, nvme2n1 before nvme10n1. That order gives the designators 0 ... 9.
std::vector<MachineDisk> listMachineDisks(DiskCatalog catalog = DiskCatalog::automatic);

}  // namespace korvelo
