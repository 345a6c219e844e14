// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the rescue tests share: a small sample disk (the shared BuiltDisk) opened as
// drive "0" with its directory read, helpers to lay out recordings and poke
// heads, and the ".hav" file of a rescued recording worked out by hand.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "export/hav_export_job.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/rescue_disk.h"
#include "support/built_disk.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo::test {

inline constexpr int kSmallFatSize = 2;

// A recording in `slot` (entry number the same) of `hojins` whole HOJINs in the blocks.
sample::Recording rescueRecording(int slot, std::vector<uint32_t> blocks, int hojins);

// A description with the recordings, F = 2 and an image just large enough for `blocks`
// data-area blocks.
sample::DiskDescription smallDisk(std::vector<sample::Recording> recordings, int64_t blocks = 16);

// First sector of a data-area block (F = the description's) worked out by hand.
int64_t blockSectorOf(const sample::DiskDescription& disk, int64_t block);

// The 512-byte A-sector head of HOJIN k of some recording: signature, 32768, 65 (k - 1), k.
std::vector<uint8_t> headSector(uint32_t k);

class RescueImage {
 public:
  explicit RescueImage(sample::DiskDescription description, std::set<int64_t> badSectors = {});

  Fsr5000Disk& disk() { return *disk_; }
  const sample::DiskDescription& description() const { return built_.description(); }
  const std::string& imagePath() const { return built_.imagePath(); }
  std::string output(const std::string& name) const { return built_.file(name); }
  const std::string& folder() const { return built_.folder(); }

  // The data part of the recording's ".hav": its first `hojins` HOJINs straight from the image.
  std::vector<uint8_t> dataOf(int recordingIndex, int hojins = -1) const;

 private:
  BuiltDisk built_;
  std::unique_ptr<Fsr5000Disk> disk_;
};

// Head, made-up entry image ("Gerettet <id>", length hojins x 65) and data, by hand.
std::vector<uint8_t> expectedRescuedHav(int id, int hojins, const std::vector<uint8_t>& data);

struct ExportOutcome {
  int prepareResult = -1;
  int errorCode = -1;
  std::string proposedName;
  std::string messages;  // of every step, joined
  std::vector<uint8_t> bytes;
};

// Exports the rescued recording `id` of the disk into `path` through the export job.
ExportOutcome exportRescued(RescueDisk& disk, int id, const std::string& path);

}  // namespace korvelo::test
