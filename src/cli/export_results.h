#pragma once
// After each recording an export saves: the check sums of the file and of its HOJIN data,
// a record in the folder's manifest and, with --sidecar, a ".hav.json" beside the file.

#include <cstdint>
#include <optional>
#include <string>

#include "app/log.h"
#include "cli/workflow_options.h"
#include "export/hav_digests.h"
#include "recfs/directory_entry.h"

namespace korvelo::cli {

struct SavedRecording {
  const DirectoryEntry* entry = nullptr;
  std::string path;  // empty: no file was written
  int damagedHojins = 0;
  int64_t unreadableSectors = 0;
  bool complete = false;
  std::optional<HavDigests> digests;  // taken while writing; else the file is read back
};

class ExportResultRecorder {
 public:
  ExportResultRecorder(const ExportResultOptions& options, std::string folder, Log& log)
      : options_(options), folder_(std::move(folder)), log_(log) {}

  // Whether the target folder's file system can hold the recording's file; reports why
  // not before anything is written.
  bool admits(const DirectoryEntry& entry);

  // Hashes the file and writes the records; problems go to the log. False when a record
  // could not be written.
  bool record(const SavedRecording& saved);

 private:
  const ExportResultOptions& options_;
  std::string folder_;
  Log& log_;
};

}  // namespace korvelo::cli
