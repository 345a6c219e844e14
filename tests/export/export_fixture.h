// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the export tests share: a sample disk (the shared BuiltDisk) opened as drive
// "0", a save-as question answered from a script, a log and a window that record what
// reaches them, and the ".hav" bytes worked out independently of the job.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "export/hav_export_job.h"
#include "export/log_sink.h"
#include "export/save_as_chooser.h"
#include "export/save_driver.h"
#include "recfs/fsr5000_disk.h"
#include "support/built_disk.h"
#include "support/fake_driver_view.h"
#include "support/memory_source.h"
#include "support/recording_log.h"
#include "support/sample_recordings.h"
#include "support/scripted_chooser.h"
#include "support/temp_dir.h"

namespace korvelo::test {

// The export tests' name for the window that remembers what it was told.
using FakeView = FakeDriverView;

// A recording in `slot` (entry number the same) of `sectors` sectors in the given blocks.
sample::Recording recordingOf(int slot, std::vector<uint32_t> blocks, uint32_t sectors);

// Builds the description into a temporary folder, installs it as drive "0" (reads
// touching `badSectors` fail) and opens the recorder disk with its directory read.
class ExportDisk {
 public:
  explicit ExportDisk(sample::DiskDescription description, std::set<int64_t> badSectors = {});

  Fsr5000Disk& disk() { return *disk_; }
  const sample::DiskDescription& description() const { return built_.description(); }
  const sample::Recording& recording(int index) const { return description().recordings.at(index); }
  const DirectoryEntry& entry(int entryNumber) const;
  const std::string& imagePath() const { return built_.imagePath(); }
  std::string output(const std::string& name) const { return built_.file(name); }
  const std::string& folder() const { return built_.folder(); }

 private:
  BuiltDisk built_;
  std::unique_ptr<Fsr5000Disk> disk_;
};

// The whole ".hav" file for the recording: head, entry image, its whole HOJINs and the
// sectors after them, as the builder lays them out (defects included). With `hojins`
// >= 0: only that many HOJINs and no sectors after them, for a copy that ended early.
std::vector<uint8_t> expectedHav(const ExportDisk& disk, const sample::Recording& recording,
                                 int hojins = -1);

// A job prepared for `path` (free space ample) with 4 HOJINs per step; with `resume`
// an existing file there is continued.
std::unique_ptr<HavExportJob> preparedJob(ExportDisk& disk, int entryNumber,
                                          const std::string& path, bool resume = false);

// Calls copyStep until the job is finished (at most `limit` times); the number of calls.
int copyToEnd(HavExportJob& job, bool suppressWarnings = true, int limit = 100000);

// The text cut at its CR LF pairs.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace korvelo::test
