// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// After each recording an export saves: the check sums of the file and of its HOJIN data,
// a record in the folder's manifest and, with --sidecar, a ".hav.json" beside the file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/log.h"
#include "export/hav_digests.h"
#include "export/salvage_read.h"
#include "recfs/directory_entry.h"

namespace korvelo {

struct SavedRecording {
  const DirectoryEntry* entry = nullptr;
  std::string path;  // empty: no file was written
  int damagedHojins = 0;
  int64_t unreadableSectors = 0;
  bool complete = false;
  std::optional<HavDigests> digests;  // taken while writing; else the file is read back
  std::vector<DamagedArea> damagedAreas;
  std::string doubt;  // why the file is not complete although every byte was copied
};

class ExportResultRecorder {
 public:
  ExportResultRecorder(bool sidecar, std::string folder, Log& log)
      : sidecar_(sidecar), folder_(std::move(folder)), log_(log) {}

  // Hashes the file and writes the records; problems go to the log. False when a record
  // could not be written.
  bool record(const SavedRecording& saved);

 private:
  bool sidecar_;
  std::string folder_;
  Log& log_;
};

}  // namespace korvelo
