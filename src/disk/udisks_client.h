// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The way to a disk that the user may not open: the udisks2 daemon on the system bus
// opens it on the user's behalf, after polkit has asked for the administrator's password
// (or not, as the local policy says), and hands over a descriptor. Only ever asked for
// reading (Block.OpenDevice with mode "r"); nothing is mounted or written through it.
// Tests point the client at a bus of their own with DBUS_SYSTEM_BUS_ADDRESS.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/posix_file.h"

namespace korvelo {

// A whole disk as udisks2 describes it.
struct UdisksDisk {
  std::string objectPath;  // the block object, "/org/freedesktop/UDisks2/block_devices/sdb"
  std::string device;      // "/dev/sdb"
  std::string model;       // vendor and model of its drive; empty when unknown
  uint64_t sizeBytes = 0;
  std::string connection;  // "USB", "FireWire", "SD"; empty for an internal connection
};

// An answer of the daemon: empty `failure` when it was given, else the German reason
// ("udisks2 läuft nicht", "Zugriff verweigert", ...).
struct UdisksListing {
  std::vector<UdisksDisk> disks;  // in the order of their device paths
  std::string failure;
};

struct UdisksOpening {
  PosixFile descriptor;  // read-only; closed when failure is set
  std::string failure;
  bool refused = false;  // polkit said no (or the password dialog was dismissed)
};

// Whole disks with a medium (no partitions, no drive-less block devices except loop
// devices, which hold attached images).
UdisksListing listUdisksDisks();

// Asks udisks2 to open `device` ("/dev/sdb") for reading. With `mayAsk`, polkit may ask
// the user (the password dialog of the desktop or a text agent) and the call waits for
// the answer; without, a policy that wants a password refuses at once.
UdisksOpening openThroughUdisks(const std::string& device, bool mayAsk);

}  // namespace korvelo
