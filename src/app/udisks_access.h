// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a disk through udisks2 as both front ends offer it: the disks that can be asked
// for, the drive that a granted descriptor stands for, and the one line that says what
// became of the request. The granted disk replaces the drive table as the only drive, as
// an image does: the machine's own disks would end the search at the first one the user
// may not open, which is usually the system disk.

#include <optional>
#include <string>

#include "disk/drive_table.h"
#include "disk/udisks_client.h"

namespace korvelo {

struct UdisksGrant {
  std::optional<DriveSpec> drive;  // read through the descriptor; empty when refused
  std::string line;                // for the log: what was granted, or why not
  std::string reason;              // why not, as the line gives it; empty when granted
  bool refused = false;            // polkit said no (as opposed to a missing daemon)
};

// Asks udisks2 to open `device` for reading; `mayAsk` lets polkit ask the user.
//   Festplatte "/dev/sdb" über udisks2 zum Lesen geöffnet.
//   Festplatte "/dev/sdb" lässt sich über udisks2 nicht öffnen: Zugriff verweigert (als
//   root starten oder der Gruppe "disk" beitreten).
UdisksGrant requestUdisksAccess(const std::string& device, bool mayAsk);

// A disk in a list: "WDC WD1600JB, 160,0 GB, USB (/dev/sdb)".
std::string describeUdisksDisk(const UdisksDisk& disk);

// The path of the drive at which the last search ended because the user may not open
// it; nothing when no drive was refused for lack of permission.
std::optional<std::string> refusedDrivePath();

}  // namespace korvelo
