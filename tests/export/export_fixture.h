#pragma once
// What the export tests share: a sample disk built into a temporary folder and opened
// as drive "0", a save-as question answered from a script, a log and a window that
// record what reaches them, and the ".hav" bytes worked out independently of the job.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "export/hav_export_job.h"
#include "export/log_sink.h"
#include "export/save_as.h"
#include "export/save_driver.h"
#include "recfs/fsr5000_disk.h"
#include "support/memory_source.h"
#include "support/sample_recordings.h"
#include "support/temp_dir.h"

namespace korvelo::test {

class ScriptedChooser : public SaveAsChooser {
 public:
  static ScriptedChooser choosing(std::string path);
  static ScriptedChooser cancelling();
  static ScriptedChooser failing(int errorCode);

  SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) override;

  SaveAsAnswer answer;
  std::vector<SaveAsRequest> requests;
};

class RecordingLog : public LogSink {
 public:
  void append(std::string_view text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

class FakeView : public SaveDriverView {
 public:
  void setReadBarRange(int lower, int upper) override { readRange = {lower, upper}; }
  void setReadBarPosition(int position) override { readPosition = position; }
  void setWriteBarRange(int lower, int upper) override { writeRange = {lower, upper}; }
  void setWriteBarPosition(int position) override { writePositions.push_back(position); }
  bool isMinimized() const override { return minimized; }
  void setWindowTitle(const std::string& title) override { titles.push_back(title); }
  bool isSuppressMessagesChecked() const override { return suppressChecked; }
  void uncheckSuppressMessages() override { suppressChecked = false; }
  void setSaveEnabled(bool enabled) override { saveEnabled = enabled; }

  std::pair<int, int> readRange{-1, -1};
  std::pair<int, int> writeRange{-1, -1};
  int readPosition = -1;
  std::vector<int> writePositions;
  std::vector<std::string> titles;
  bool minimized = false;
  bool suppressChecked = false;
  bool saveEnabled = false;
};

// A recording in `slot` (entry number the same) of `sectors` sectors in the given blocks.
sample::Recording recordingOf(int slot, std::vector<uint32_t> blocks, uint32_t sectors);

// Builds the description into a temporary folder, installs it as drive "0" (reads
// touching `badSectors` fail) and opens the recorder disk with its directory read.
class ExportDisk {
 public:
  explicit ExportDisk(sample::DiskDescription description, std::set<int64_t> badSectors = {});

  Fsr5000Disk& disk() { return *disk_; }
  const sample::DiskDescription& description() const { return description_; }
  const sample::Recording& recording(int index) const { return description_.recordings.at(index); }
  const DirectoryEntry& entry(int entryNumber) const;
  const std::string& imagePath() const { return image_; }
  std::string output(const std::string& name) const { return dir_.file(name); }
  const std::string& folder() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::string image_;
  sample::DiskDescription description_;
  std::optional<ScopedTestDrives> drives_;
  std::unique_ptr<Fsr5000Disk> disk_;
};

// The whole ".hav" file for the recording: head, entry image, its whole HOJINs and the
// sectors after them, as the builder lays them out (defects included). With `hojins`
// >= 0: only that many HOJINs and no sectors after them, for a copy that ended early.
std::vector<uint8_t> expectedHav(const ExportDisk& disk, const sample::Recording& recording,
                                 int hojins = -1);

// A job prepared for `path` (free space ample) with 4 HOJINs per step.
std::unique_ptr<HavExportJob> preparedJob(ExportDisk& disk, int entryNumber, const std::string& path);

// Calls copyStep until the job is finished (at most `limit` times); the number of calls.
int copyToEnd(HavExportJob& job, bool suppressWarnings = true, int limit = 100000);

// The text cut at its CR LF pairs.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace korvelo::test
