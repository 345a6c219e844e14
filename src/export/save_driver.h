// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Works off the queue of export jobs in small steps: opens every queued job, copies
// the head job a few HOJINs per step, moves the progress bars, logs the messages,
// the "Schreibe in" line and the read rate, sets the file date, removes finished jobs.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "export/hav_export_job.h"
#include "export/log_sink.h"

namespace korvelo {

using JobQueue = std::deque<std::unique_ptr<HavExportJob>>;

// What the driver touches in the window.
class SaveDriverView {
 public:
  virtual ~SaveDriverView() = default;
  virtual void setReadBarRange(int lower, int upper) = 0;
  virtual void setReadBarPosition(int position) = 0;
  virtual void setWriteBarRange(int lower, int upper) = 0;
  virtual void setWriteBarPosition(int position) = 0;
  virtual bool isMinimized() const = 0;
  virtual void setWindowTitle(const std::string& title) = 0;  // redraws at once
  virtual bool isSuppressMessagesChecked() const = 0;         // "Kopiermeldungen unterdrücken"
  virtual void uncheckSuppressMessages() = 0;
  virtual void setSaveEnabled(bool enabled) = 0;
};

// The settings the driver reads at every step (they may change while it runs).
struct SaveOptions {
  int millisecondsPause = 0;
  bool suppressWarnings = true;
  bool useRecordDate = false;
};

class SaveDriver {
 public:
  using Clock = std::function<int64_t()>;  // milliseconds on a monotonic clock

  SaveDriver(JobQueue& queue, SaveDriverView& view, LogSink& log,
             std::function<SaveOptions()> options, Clock clock = {});

  // Opens every queued job not opened yet; a job that cannot be opened is reported
  // and removed at once.
  void startSaving();
  // One step on the head job; the front end calls it again while isSavingActive().
  void saveStep();
  bool isSavingActive() const { return savingActive; }
  // The queue was given up (emptied by its owner): Save is offered again.
  void endSaving();
  // Milliseconds to wait after a step: MillisecondsPause when it lies in 1 ... 100, else 0.
  int pauseAfterStep() const;
  // Called with every job the driver removes from the queue (finished, or not openable)
  // before it is destroyed, so that a front end can learn each job's outcome.
  using JobRetiredHook = std::function<void(HavExportJob&)>;
  void setJobRetiredHook(JobRetiredHook hook) { jobRetired_ = std::move(hook); }

 private:
  void beginHeadJob(const HavExportJob& job);
  void showProgress();
  void reportRate(const HavExportJob& job);
  void finishHeadJob();
  void reportDamage(const HavExportJob& job);
  void reportSlowReads(const ReadCosts& costs);
  // Closes the job's file, destroys the job and gives its file the recording's start
  // as its date when asked.
  void retireJob(std::unique_ptr<HavExportJob> job);
  void logJobMessages(const HavExportJob& job);

  JobQueue& queue_;
  SaveDriverView& view_;
  LogSink& log_;
  std::function<SaveOptions()> options_;
  Clock clock_;
  bool savingActive = false;
  bool rateReported = false;
  int64_t jobStartTime = 0;  // milliseconds of the clock at the head job's first step
  int lastTitlePercent = 0;  // the percentage last written into the window title
  JobRetiredHook jobRetired_;
};

}  // namespace korvelo
