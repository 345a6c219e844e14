// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Saving recordings, the same for the window and the command line: every recording is
// admitted before a byte is written, its job queued and driven step by step, and what
// became of it kept as one outcome (and, with check sums, as a record in the folder's
// manifest). The front ends only offer recordings, call step() from their timer or loop,
// and ask to stop; they hold no rules of their own.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/export_progress.h"
#include "app/json_document.h"
#include "app/recorded_sums.h"
#include "app/workflow_support.h"
#include "export/export_result.h"
#include "export/hav_digests.h"
#include "export/hav_export_job.h"
#include "export/mount_and_fat_checks.h"
#include "export/save_as_chooser.h"
#include "export/target_checks.h"

namespace korvelo {

class TargetFolder;

// One recording to save: an entry of the directory, or a rescued finding read through
// the rescue view of the disk.
struct ExportItem {
  Fsr5000Disk* disk = nullptr;
  const DirectoryEntry* entry = nullptr;  // owned by `disk`
  int rescuedId = -1;                     // >= 0: a rescued finding, named so in the log
  // Why the file can never count as complete whatever is copied: a rescued chain whose
  // blocks may belong to different recordings, or a file FAT that names blocks of another
  // recording, more than the length needs or beyond the disk (noted once the run's file
  // FATs are read). Empty when there is no such reason.
  std::string doubt;
};

// What became of one offered recording: refused, skipped or cancelled before a byte was
// written, or queued and ended with the job's result.
struct ExportOutcome {
  ExportItem item;
  int prepareResult = HavExportJob::kPrepared;  // or ExportWorkflow::kRefused
  std::string path;                             // the chosen target; empty when none was chosen
  std::shared_ptr<const TargetFolder> folder;   // the folder the job made its file in
  bool ran = false;           // the job was queued and has ended (finished, failed or stopped)
  ExportResult result;        // the job's, once it ran; `stopped` also for a job never begun
  std::string resumeLine;     // after a stop: where to go on
  bool recordWritten = true;  // the manifest record (and sidecar) could be written

  // What became of it: the job's verdict once it ran, else what kept it from running.
  ExportVerdict verdict() const;
  // The file holds the recording's bytes with valid heads.
  bool complete() const { return verdict() == ExportVerdict::Saved; }
  bool stopped() const { return result.stopped; }
  bool damaged() const { return verdict() == ExportVerdict::Damaged; }
  // Copied without error, but maybe not from this recording's blocks alone (the doubt).
  bool uncertain() const { return verdict() == ExportVerdict::Doubtful; }
};

// What the checks ask of the system; tests answer themselves.
struct AdmissionQueries {
  // Empty when the device at the path is not mounted (nor a partition of it).
  MountedSourceQuery mountedSource = mountedSourceProblem;
  FileSystemTypeQuery fileSystemType = queryFileSystemType;
};

struct ExportSettings {
  bool checksums = false;  // sums taken while writing, one manifest record per file
  bool sidecar = false;    // and a ".hav.json" beside each file
  bool retryBad = false;   // a continued file's zero-filled areas are read again first
};

class ExportWorkflow {
 public:
  // An offered recording that the checks refused; nothing was written for it.
  static constexpr int kRefused = -1;

  ExportWorkflow(AppState& app, SaveAsChooser& chooser, AdmissionQueries queries = {});
  ~ExportWorkflow();
  ExportWorkflow(const ExportWorkflow&) = delete;
  ExportWorkflow& operator=(const ExportWorkflow&) = delete;

  void configure(const ExportSettings& settings) { settings_ = settings; }
  void setAdmissionQueries(AdmissionQueries queries) { queries_ = std::move(queries); }
  void setFreeSpaceQuery(FreeSpaceQuery query) { freeSpaceQuery_ = std::move(query); }
  // The window the save-as dialogs belong to (opaque to the core).
  void setParentWindow(const void* parent) { parent_ = parent; }

  // False, with the reason logged, when the disk must not be read for saving: its
  // device (or a partition of it) is mounted.
  bool admitSource(Fsr5000Disk& disk);
  // Logs the choice, proposes the file, asks the chooser and checks the target; queues
  // the job when everything holds. The preparation result: HavExportJob::kPrepared when
  // queued, kRefused when a check refused it, else the job's own result.
  int offer(const ExportItem& item);
  // A new walk over recordings to save, nothing queued: its targets may be those an
  // earlier walk wrote (to be continued or replaced), only none twice within the walk.
  // `recordings` and `bytes` (their files' sizes) are what the progress counts against.
  void beginRun(int recordings = 0, int64_t bytes = 0);
  // The same for a walk over these recordings, counted with their files' sizes: their file
  // FATs are read in one pass when the first of them is started, also those offered later.
  void beginRun(const std::vector<ExportItem>& items);
  // Opens the queued jobs, the file FATs of the run read first (once a run); from then on
  // step() works them off.
  void start();
  // Ends a run: the records kept in a journal meanwhile go into their manifest. False
  // (and the reason in the log) when they could not, or a damaged file was kept aside.
  bool endRun();
  // One step on the head job. False once nothing is left to do: the queue is worked
  // off, or a stop was asked for (the file being written then kept for resuming).
  bool step();
  bool isActive() const;
  // Milliseconds to wait after a step, as the settings ask.
  int pauseAfterStep() const;

  // Asks to stop after the current step. Safe to call from a signal handler.
  void requestStop() noexcept { stop_.store(true, std::memory_order_relaxed); }
  // After a stop: a later save (in the window) starts without it.
  void clearStopRequest() noexcept { stop_.store(false, std::memory_order_relaxed); }
  bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }
  // The flag behind requestStop(), for a signal handler that may only store to it.
  std::atomic<bool>& stopFlag() { return stop_; }
  // Whether a recording's job (since the last start()) ran into a disk that no longer
  // answers: the queue was given up, and nothing more should be offered.
  bool driveGone() const { return driveGone_; }

  const std::vector<ExportOutcome>& outcomes() const { return outcomes_; }
  // How far the run is, for the front ends' progress bars and lines.
  ExportProgress progress() const;
  // Whether jobs wait or run; the front ends never touch the queue itself.
  bool hasQueuedJobs() const { return !app_.jobs_.empty(); }

 private:
  SaveDriver* driver() { return app_.saveDriver(); }
  // How the log names the recording: "Eintrag 3 \"Titel\"" or "Gerettete Aufnahme 5".
  static std::string nameOf(const ExportItem& item);
  // Hands the job the folder of its target, when the chooser opened none: the run's
  // folder when the target lies there, else that folder opened now. Empty when it is
  // open; else the German reason.
  std::string giveFolder(HavExportJob& job);
  // Empty when the chosen target may be written; else the German reason.
  std::string refusalOf(const HavExportJob& job) const;
  // Takes what the driver knew of a job it let go; settled after its step.
  void onJobRetired(HavExportJob& job);
  void takeJobResult(HavExportJob& job, ExportOutcome& outcome);
  void carryEarlierRecord(HavExportJob& job);
  // The manifest of a folder as this run found it (its journal merged in), read once.
  struct EarlierRecords {
    JsonDocument document;
    ManifestSums sums;
  };
  const EarlierRecords& earlierRecordsIn(const TargetFolder& folder);
  void trackHeadJob();
  void settleRetired();
  // Judges completeness, records the check sums and says what is missing.
  void settle(ExportOutcome& outcome);
  void record(ExportOutcome& outcome);
  // Ends every queued job, keeping what an opened one wrote, synced, for resuming.
  void stopQueue();
  // Gives up a job that goes on far longer than its HOJINs need.
  void abandonHeadJob();
  void endSaving();
  // The file FATs of the queued jobs not opened yet and of the recordings still to be
  // offered, read in one pass over the file-FAT area of each disk.
  void readFileFatsAhead();
  // Adds what the file FATs read for the run hold against the item to its doubt.
  void noteFileFatDoubt(ExportItem& item) const;

  AppState& app_;
  SaveAsChooser& chooser_;
  AdmissionQueries queries_;
  ExportSettings settings_;
  FreeSpaceQuery freeSpaceQuery_;
  const void* parent_ = nullptr;
  std::atomic<bool> stop_{false};
  bool driveGone_ = false;
  std::vector<ExportOutcome> outcomes_;
  std::vector<size_t> retired_;       // outcomes whose job ended and that wait to be settled
  RunTargets targets_;                // paths chosen in this run: none is written twice
  std::vector<ExportItem> runItems_;  // the walk's recordings, when it named them
  size_t runFirstOutcome_ = 0;        // the outcome of the walk's first offer
  bool fatsReadAhead_ = false;        // the walk's file FATs were read (or need not be)
  // Recordings of the walk's disks whose file FATs are in doubt, once read: why.
  std::map<const DirectoryEntry*, std::string> fileFatDoubts_;
  std::shared_ptr<const TargetFolder> runFolder_;  // the folder opened last in this run
  std::map<std::pair<dev_t, ino_t>, std::unique_ptr<EarlierRecords>> earlierRecords_;
  std::shared_ptr<HavDigester> hashing_;  // the walk's two hashing threads, lent to its jobs
  ExportProgressTracker progress_;
  const HavExportJob* head_ = nullptr;  // the job the step count belongs to
  int headSteps_ = 0;
  int headStepLimit_ = 0;
};

}  // namespace korvelo
