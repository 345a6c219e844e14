// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// After each recording an export saves: the check sums of the file and of its HOJIN data,
// a record in the folder's manifest and, with --sidecar, a ".hav.json" beside the file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/log.h"
#include "export/export_result.h"
#include "export/hav_digests.h"
#include "recfs/directory_entry.h"

namespace korvelo {

class TargetFolder;

class ExportResultRecorder {
 public:
  // `folder` is the folder the file was made in; the file, its manifest and its sidecar
  // are reached only by their names in it.
  ExportResultRecorder(bool sidecar, const TargetFolder& folder, Log& log)
      : sidecar_(sidecar), folder_(folder), log_(log) {}

  // Writes the records of the export's file (hashed again when the sums taken while
  // writing do not cover it); problems go to the log. False when a record could not be written.
  bool record(const DirectoryEntry& entry, const ExportResult& result);

 private:
  bool sidecar_;
  const TargetFolder& folder_;
  Log& log_;
};

}  // namespace korvelo
