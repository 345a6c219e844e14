#pragma once
// What the reliability tests share: a sample disk built into a temporary folder and
// opened as drive "0" (optionally through a mapfile, or failing chosen sectors), export
// jobs for chosen targets, a save driver with a window that only counts, a log that
// records, a mapfile written from the sectors that shall count as bad, and a tmpfs
// mounted for one test.

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
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo::test {

class RecordingLog : public LogSink {
 public:
  void append(std::string_view text) override { lines.emplace_back(text); }
  // Position of the first entry equal to `text` at or after `from`; lines.size() if none.
  size_t find(const std::string& text, size_t from = 0) const;
  size_t count(const std::string& text) const;
  std::vector<std::string> lines;
};

class QuietView : public SaveDriverView {
 public:
  void setReadBarRange(int, int) override {}
  void setReadBarPosition(int) override {}
  void setWriteBarRange(int, int) override {}
  void setWriteBarPosition(int) override {}
  bool isMinimized() const override { return false; }
  void setWindowTitle(const std::string&) override {}
  bool isSuppressMessagesChecked() const override { return suppressChecked; }
  void uncheckSuppressMessages() override { suppressChecked = false; }
  void setSaveEnabled(bool) override {}
  bool suppressChecked = false;
};

// Two recordings far apart: entry 0 with 20 HOJINs, entry 1 with 10 HOJINs.
sample::DiskDescription twoRecordingDisk();

// The mapfile text a rescue of `imageBytes` bytes leaves when exactly `badSectors`
// stayed unreadable: finished areas between them, bad areas over them.
std::string mapfileText(int64_t imageBytes, const std::set<int64_t>& badSectors);

enum class BadSectorsVia { FailingReads, Mapfile };

// Builds the description, installs it as drive "0" with the bad sectors made unreadable
// the chosen way, and opens the recorder disk with its directory read.
class RecorderImage {
 public:
  RecorderImage(sample::DiskDescription description, std::set<int64_t> badSectors = {},
                BadSectorsVia via = BadSectorsVia::FailingReads);
  ~RecorderImage();

  Fsr5000Disk& disk() { return *disk_; }
  const sample::DiskDescription& description() const { return description_; }
  const sample::Recording& recording(int index) const { return description_.recordings.at(index); }
  const std::string& imagePath() const { return image_; }
  const std::string& folder() const { return dir_.path(); }

  // A job for the recording with that entry number, prepared for `path`; the free-space
  // question goes to the real file system.
  std::unique_ptr<HavExportJob> preparedJob(int entryNumber, const std::string& path);

  // The ".hav" bytes the recording should give, with the listed disk sectors zeroed.
  std::vector<uint8_t> expectedHav(const sample::Recording& recording,
                                   const std::set<int64_t>& zeroedSectors = {}) const;

 private:
  TempDir dir_;
  std::string image_;
  sample::DiskDescription description_;
  std::unique_ptr<ScopedTestDrives> drives_;
  std::unique_ptr<Fsr5000Disk> disk_;
};

// Runs the driver until its queue is empty (at most `limit` steps); calls `between`
// after each step with the number of steps taken so far.
void driveToEnd(SaveDriver& driver, const std::function<void(int)>& between = {}, int limit = 10000);

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
