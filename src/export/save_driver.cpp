// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/save_driver.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "disk/front_end_words.h"
#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/file_date.h"
#include "export/save_failure_advice.h"
#include "recfs/disk_layout.h"

namespace korvelo {
namespace {

int64_t steadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

SaveDriver::SaveDriver(JobQueue& queue, SaveDriverView& view, LogSink& log,
                       std::function<SaveOptions()> options, Clock clock)
    : queue_(queue),
      view_(view),
      log_(log),
      options_(std::move(options)),
      clock_(clock ? std::move(clock) : Clock(steadyMilliseconds)) {}

int SaveDriver::pauseAfterStep() const {
  const int pause = options_().millisecondsPause;
  return (pause >= 1 && pause <= 100) ? pause : 0;
}

void SaveDriver::startSaving() {
  if (queue_.empty()) {
    view_.setSaveEnabled(true);
    return;
  }
  for (auto it = queue_.begin(); it != queue_.end();) {
    HavExportJob& job = **it;
    if (job.wasOpened()) {
      ++it;
      continue;
    }
    const int result = job.openFile();
    if (result == 0) {
      savingActive = true;
      ++it;
      continue;
    }
    // A job that cannot be opened has nothing more to copy: it is reported and removed
    // now rather than waiting in the queue for a driver that may never run.
    view_.setSaveEnabled(true);
    log_.append(textf("Fehler %d ist beim Speichern aufgetreten.", result), Severity::Error);
    logJobMessages(job);
    if (const std::string advice = adviceAfterOpenFailure(result); !advice.empty())
      log_.append(advice, Severity::Error);
    std::unique_ptr<HavExportJob> failed = std::move(*it);
    it = queue_.erase(it);
    retireJob(std::move(failed));
  }
}

void SaveDriver::logJobMessages(const HavExportJob& job) {
  const std::string messages = job.getMessages();
  if (!view_.isSuppressMessagesChecked() && !messages.empty())
    log_.append(messages, job.getMessageSeverity());
}

void SaveDriver::saveStep() {
  if (!savingActive || queue_.empty()) return;
  HavExportJob& job = *queue_.front();
  if (job.getStepsTaken() == 0) beginHeadJob(job);
  // A job whose copy already ended still needs its step to be finished.
  if (!job.isFinished()) job.copyStep(options_().suppressWarnings);
  logJobMessages(job);
  view_.setReadBarPosition(job.getCurrentHojin() >> job.getHojinBarShift());
  showProgress();
  if (job.getCurrentHojin() >= job.getNumberOfHojins() && !rateReported) reportRate(job);
  if (job.isFinished()) finishHeadJob();
}

void SaveDriver::beginHeadJob(const HavExportJob& job) {
  view_.setReadBarRange(1, job.getNumberOfHojins() >> job.getHojinBarShift());
  view_.setWriteBarRange(0, static_cast<int>(job.getExpectedSize() >> job.getByteBarShift()));
  if (!job.isAlreadyComplete()) log_.append(textf("Schreibe in \"%s\"", job.getPath().c_str()));
  rateReported = false;
  jobStartTime = clock_();
}

void SaveDriver::showProgress() {
  if (queue_.empty()) return;
  const HavExportJob& job = *queue_.front();
  if (!view_.isMinimized()) {
    view_.setWriteBarPosition(
        static_cast<uint16_t>(job.getBytesWritten() >> job.getByteBarShift()));
    return;
  }
  if (job.getPercentWritten() == lastTitlePercent) return;
  view_.setWindowTitle(textf("Got %d%% HAV", job.getPercentWritten()));
  lastTitlePercent = job.getPercentWritten();
}

// Bytes per elapsed millisecond, so that a job of less than a second still gets a
// sensible figure; at least one millisecond is counted.
void SaveDriver::reportRate(const HavExportJob& job) {
  const int64_t elapsed = std::max<int64_t>(1, clock_() - jobStartTime);
  // A continued file's kept HOJINs were not read this time.
  const int64_t hojinsRead = job.getNumberOfHojins() - job.getHojinsKept();
  rateReported = true;
  if (hojinsRead <= 0) return;  // nothing was read: there is no rate to tell
  const int64_t rate = hojinsRead * kHojinBytes * 1000 / elapsed / 1024;
  log_.append(textf("Lesen der %sfragmentierten Aufzeichnung abgeschlossen. Leserate: ca. %s KB/s",
                    job.isFragmented() ? "" : "un", formatThousands(rate, '.').c_str()));
}

void SaveDriver::endSaving() {
  view_.setReadBarPosition(0);
  view_.setWriteBarPosition(0);
  savingActive = false;
  view_.uncheckSuppressMessages();
  view_.setSaveEnabled(true);
}

void SaveDriver::finishHeadJob() {
  view_.setReadBarPosition(0);
  view_.setWriteBarPosition(0);
  reportDamage(*queue_.front());
  if (queue_.front()->getErrorCode() == HavExportJob::kDataNotWritten)
    log_.append(adviceAfterWriteFailure(), Severity::Error);
  std::unique_ptr<HavExportJob> job = std::move(queue_.front());
  queue_.pop_front();
  retireJob(std::move(job));
  if (queue_.empty()) {
    savingActive = false;
    view_.uncheckSuppressMessages();
    view_.setSaveEnabled(true);
  }
}

// One closing line for a recording whose file has zeros where sectors stayed unreadable.
// It is logged even when the copy messages are suppressed: the file is not what the
// disk once held, and the user must learn so.
void SaveDriver::reportDamage(const HavExportJob& job) {
  if (const int wrong = job.getWrongHeadHojins(); wrong > 0) {
    log_.append(
        textf("Beschädigt: %d %s mit falschem Kopf.", wrong, wrong == 1 ? "Hojin" : "Hojins"),
        Severity::Warning);
    // Heads that fail almost everywhere mean the HOJINs were looked for in the wrong place.
    if (wrong * 2 > job.getNumberOfHojins())
      log_.append(textf("Die meisten Hojin-Köpfe sind falsch: Der \"File-FAT-Size\"-Wert ist "
                        "wahrscheinlich falsch. Bitte den richtigen Wert %s einstellen.",
                        nextStepWords().fatSizeSetting),
                  Severity::Warning);
  }
  if (job.getDamagedHojins() > 0) {
    log_.append(textf("Beschädigt: %d %s mit zusammen %s nicht lesbaren %s (mit Nullen gefüllt).",
                      job.getDamagedHojins(), job.getDamagedHojins() == 1 ? "Hojin" : "Hojins",
                      formatThousands(job.getUnreadableSectors(), '.').c_str(),
                      job.getUnreadableSectors() == 1 ? "Sektor" : "Sektoren"),
                Severity::Warning);
  }
  reportSlowReads(job.getReadCosts());
}

// Reads that took seconds are the sign of a disk that retries before it gives a sector:
// one that may soon give none.
void SaveDriver::reportSlowReads(const ReadCosts& costs) {
  if (costs.slowReads == 0) return;
  log_.append(textf("Warnung: %d langsame Lesezugriffe (länger als %s s, der längste %s s). Die "
                    "Festplatte lässt nach: am besten jetzt mit GNU ddrescue ein Abbild ziehen.",
                    costs.slowReads, formatSeconds(kSlowReadMillis).c_str(),
                    formatSeconds(costs.longestMillis).c_str()),
              Severity::Warning);
}

void SaveDriver::retireJob(std::unique_ptr<HavExportJob> job) {
  if (jobRetired_) jobRetired_(*job);
  // Through the folder the file was made in: its path may lead elsewhere by now.
  const std::shared_ptr<const TargetFolder> folder = job->targetFolder();
  const std::string name = std::filesystem::path(job->getPath()).filename().string();
  const std::string path = folder ? folder->readPathOf(name) : job->getPath();
  // A file left as it was keeps its dates too.
  const DirectoryEntry* entry =  // belongs to the disk, outlives the job
      job->isAlreadyComplete() ? nullptr : job->getEntry();
  // The file is closed before its times are set, so that closing cannot change them.
  job.reset();
  if (entry && options_().useRecordDate) setFileDate(*entry, path, log_);
}

}  // namespace korvelo
