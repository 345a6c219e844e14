// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Maps the designators "0" ... "9" onto the machine's drives. By default the table
// holds the machine's whole disks in the order listMachineDisks gives them (sd*,
// nvme*n*, vd*, hd*, mmcblk*), gap-free like Windows drive numbers.
// `--drive PATH` replaces the table: the paths take 0, 1, 2 ... in the order given.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/byte_source.h"
#include "disk/posix_file.h"

namespace korvelo {

struct DriveSpec {
  std::string path;     // block device or image file
  std::string mapfile;  // optional rescue mapfile: areas not marked finished read as bad
  // When set, opens the source instead of `path` (tests: in-memory or failing disks).
  std::function<std::unique_ptr<ByteSource>()> factory;
  // When set, the drive is this descriptor, opened by someone allowed to (udisks2), and
  // `path` only names it: every open reads a duplicate, so the probes may close theirs.
  std::shared_ptr<const PosixFile> descriptor = nullptr;
};

struct OpenAttempt {
  std::string path;
  int error = 0;  // errno of the open, 0 when it succeeded
};

class DriveTable {
 public:
  // Back to the machine's own disks (the default).
  static void useMachineDisks();
  // Replaces the table; entry i gets the designator '0' + i. At most 10 entries count.
  static void useDrives(std::vector<DriveSpec> drives);
  static void usePaths(const std::vector<std::string>& paths);

  // The entry for a designator '0' ... '9'; nothing for letters, gaps and other characters.
  static std::optional<DriveSpec> lookup(char designator);

  // Whole-disk block devices of this machine in designator order, as /dev paths.
  static std::vector<std::string> machineDisks();

  // The last attempt to open the path behind a designator since the table was last
  // replaced: the path and the system's error (0 when it opened). Nothing when no path
  // was tried there, as at the end of the table or for a source made by a factory.
  static std::optional<OpenAttempt> lastAttempt(char designator);
  static void recordAttempt(char designator, OpenAttempt attempt);
};

// Opens the source behind a designator read-only (O_RDONLY | O_CLOEXEC).
// Returns null and sets *error to an errno value when that fails.
std::unique_ptr<ByteSource> openDriveSource(char designator, int* error = nullptr);

// Opens a block device or image file read-only; null with *error on failure.
std::unique_ptr<ByteSource> openPathSource(const std::string& path, int* error = nullptr);

// Reads through a descriptor that someone else opened, as openPathSource reads a path
// (a block device directly, past the page cache, where the descriptor allows it). One
// that is open for writing is refused with EROFS, so that the program never holds a
// writable descriptor of a disk; null with *error on failure.
std::unique_ptr<ByteSource> openDescriptorSource(PosixFile fd, int* error = nullptr);

}  // namespace korvelo
