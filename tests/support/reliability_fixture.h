// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the reliability tests share: a sample disk (the shared BuiltDisk) opened as
// drive "0" (optionally through a mapfile, or failing chosen sectors), export jobs for
// chosen targets, a save driver with a window that only counts, a log that records, and
// a tmpfs mounted for one test.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "export/hav_export_job.h"
#include "export/log_sink.h"
#include "export/save_driver.h"
#include "recfs/fsr5000_disk.h"
#include "support/built_disk.h"
#include "support/fake_driver_view.h"
#include "support/memory_source.h"
#include "support/recording_log.h"
#include "support/temp_dir.h"

namespace korvelo::test {

// A save driver's window that only counts.
using QuietView = FakeDriverView;

// Two recordings far apart: entry 0 with 20 HOJINs, entry 1 with 10 HOJINs.
sample::DiskDescription twoRecordingDisk();

// Builds the description, installs it as drive "0" with the bad sectors made unreadable
// the chosen way, and opens the recorder disk with its directory read.
class RecorderImage {
 public:
  RecorderImage(sample::DiskDescription description, std::set<int64_t> badSectors = {},
                BadSectorsVia via = BadSectorsVia::FailingReads);
  ~RecorderImage();

  Fsr5000Disk& disk() { return *disk_; }
  const sample::DiskDescription& description() const { return built_.description(); }
  const sample::Recording& recording(int index) const { return description().recordings.at(index); }
  const std::string& imagePath() const { return built_.imagePath(); }
  const std::string& folder() const { return built_.folder(); }

  // A job for the recording with that entry number, prepared for `path`; the free-space
  // question goes to the real file system.
  std::unique_ptr<HavExportJob> preparedJob(int entryNumber, const std::string& path);

  // The ".hav" bytes the recording should give, with the listed disk sectors zeroed.
  std::vector<uint8_t> expectedHav(const sample::Recording& recording,
                                   const std::set<int64_t>& zeroedSectors = {}) const;

 private:
  BuiltDisk built_;
  std::unique_ptr<Fsr5000Disk> disk_;
};

// Runs the driver until its queue is empty (at most `limit` steps); calls `between`
// after each step with the number of steps taken so far.
void driveToEnd(SaveDriver& driver, const std::function<void(int)>& between = {},
                int limit = 10000);

// A tmpfs mounted on a fresh folder for the life of the object, unmounted at its end.
// mounted() is false when the machine does not allow it (not root, no tmpfs).
class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(const std::string& options, bool readOnly = false);
  ~ScopedTmpfs();
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
  bool mounted() const { return mounted_; }
  const std::string& path() const { return holder_.path(); }

 private:
  TempDir holder_;
  bool mounted_ = false;
};

}  // namespace korvelo::test
