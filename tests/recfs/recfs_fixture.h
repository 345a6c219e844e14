// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the recorder file-system tests share: sample disks (the shared BuiltDisk)
// installed as drive "0", noting where every read began, and the status text split into
// its lines.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "disk/drive_table.h"
#include "diskbuilder/disk_builder.h"
#include "support/built_disk.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo::test {

// Byte offsets at which reads began, in order.
using ReadLog = std::vector<int64_t>;

// Sectors whose reads fail; the test may change the set while a drive is open.
using BadSectors = std::set<int64_t>;

// A recording of `hojins` whole HOJINs in the given blocks, numbered like its slot.
sample::Recording recordingIn(int slot, std::vector<uint32_t> blocks, uint32_t hojins = 16);

// Builds a sample disk in a temporary folder and installs it as drive "0" for the life
// of the object, with a read log and sectors that can be made to fail.
class SampleDisk : public BuiltDisk {
 public:
  explicit SampleDisk(const sample::DiskDescription& description, BadSectors bad = {})
      : BuiltDisk(description, {.badSectors = std::move(bad)}) {}
  const std::string& path() const { return imagePath(); }
  // Reads counted as starting at one sector (the drive may split a read only at the end).
  int64_t readsAt(int64_t sector) const;
};

// The status text cut at its CR LF pairs; empty text gives no line.
std::vector<std::string> statusLines();

}  // namespace korvelo::test
