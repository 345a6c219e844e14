// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/export_workflow.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "app/export_records.h"
#include "app/manifest.h"
#include "disk/text.h"
#include "export/save_target.h"

namespace korvelo {
namespace {

// Steps a job may take beyond those its HOJIN count needs before it counts as stuck.
constexpr int kSpareSteps = 16;

std::string shownTitle(const DirectoryEntry& entry) {
  return latin1ToUtf8(filterPrintable(entry.getTitle()));
}

// Empty when the file is complete; else why it is not, for the end of a log line.
std::string incompleteReason(const ExportOutcome& outcome) {
  if (outcome.errorCode != 0) return textf(" (Fehler %d)", outcome.errorCode);
  if (!outcome.item.doubt.empty()) return " (" + outcome.item.doubt + ")";
  if (outcome.damagedHojins > 0)
    return textf(" (%d HOJINs mit unlesbaren Sektoren)", outcome.damagedHojins);
  if (outcome.wrongHeadHojins > 0)
    return textf(" (%d HOJINs mit falschem Kopf)", outcome.wrongHeadHojins);
  struct stat status {};
  if (::stat(outcome.path.c_str(), &status) != 0) return " (Datei fehlt)";
  if (static_cast<uint64_t>(status.st_size) != outcome.expectedSize)
    return textf(" (Datei hat %s statt %s Bytes)",
                 formatThousands(static_cast<int64_t>(status.st_size), '.').c_str(),
                 formatThousands(static_cast<int64_t>(outcome.expectedSize), '.').c_str());
  return {};
}

}  // namespace

ExportWorkflow::ExportWorkflow(AppState& app, SaveAsChooser& chooser, AdmissionQueries queries)
    : app_(app), chooser_(chooser), queries_(std::move(queries)) {}

ExportWorkflow::~ExportWorkflow() {
  if (SaveDriver* saver = driver()) saver->setJobRetiredHook({});
}

std::string ExportWorkflow::nameOf(const ExportItem& item) {
  if (item.rescuedId >= 0) return textf("Gerettete Aufnahme %d", item.rescuedId);
  return textf("Eintrag %d \"%s\"", item.entry->getEntryNumber(), shownTitle(*item.entry).c_str());
}

bool ExportWorkflow::admitSource(Fsr5000Disk& disk) {
  return !refuseMountedSource(disk, app_.log, queries_.mountedSource);
}

int ExportWorkflow::offer(const ExportItem& item) {
  Log& log = app_.log;
  const Settings& settings = app_.settings;
  log.append(nameOf(item) + " ausgewählt.");
  auto job = std::make_unique<HavExportJob>(*item.disk);
  if (freeSpaceQuery_) job->setFreeSpaceQuery(freeSpaceQuery_);
  if (settings_.checksums) job->digestWhileWriting();
  int result = job->prepareSave(*item.entry, chooser_, parent_, app_.settings.pathToHAVs,
                                app_.hojinsPerStep, settings.entryNumberInFileName);
  if (!job->getMessages().empty()) log.append(job->getMessages());
  const std::string size = formatThousands(static_cast<int64_t>(job->getExpectedSize()), '.');
  if (settings.debugInfo) {
    log.append(textf("Insgesamt %d HOJINs sollen kopiert werden: Größe der Zieldatei %s Bytes.",
                     job->getNumberOfHojins(), size.c_str()));
  } else {
    log.append(textf("Größe der Zieldatei %s Bytes.", size.c_str()));
  }
  if (result == HavExportJob::kPrepared) {
    if (const std::string refusal = refusalOf(*job); !refusal.empty()) {
      log.append(nameOf(item) + " wird nicht gespeichert: " + refusal);
      result = kRefused;
    }
  } else if (result == HavExportJob::kCancelled) {
    log.append("Speichern abgebrochen.");
  } else if (result == HavExportJob::kSkipped) {
    log.append(nameOf(item) + " übersprungen.");
  } else {
    log.append(textf("Fehler %d ist beim Vorbereiten des Speicherns aufgetreten.", result));
  }

  ExportOutcome outcome;
  outcome.item = item;
  outcome.prepareResult = result;
  outcome.expectedSize = job->getExpectedSize();
  outcome.hojins = job->getNumberOfHojins();
  if (result == HavExportJob::kPrepared || result == kRefused) outcome.path = job->getPath();
  if (result == HavExportJob::kPrepared) {
    carryEarlierDamage(*job);
    targets_.insert(job->getPath());
    outcomeOfJob_[job.get()] = outcomes_.size();
    app_.jobs.push_back(std::move(job));
  }
  outcomes_.push_back(std::move(outcome));
  return result;
}

std::string ExportWorkflow::refusalOf(const HavExportJob& job) const {
  const std::string& path = job.getPath();
  if (targets_.count(path) > 0)
    return textf("\"%s\" wird in diesem Lauf schon geschrieben.", path.c_str());
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
    return textf("\"%s\" ist ein symbolischer Verweis; Korvelo schreibt nicht hindurch.",
                 path.c_str());
  const std::string folder = folderOf(path);
  return fileSizeLimitProblem(folder.empty() ? "." : folder, job.getExpectedSize(),
                              queries_.fileSystemType);
}

// A file that is continued keeps the zero-filled areas its manifest record names (and
// may have them read again); for a file written anew the manifest is not even read, which
// in a folder of 2000 records would cost a whole parse per file.
void ExportWorkflow::carryEarlierDamage(HavExportJob& job) const {
  if (!settings_.checksums || !job.continuesExistingFile()) return;
  const std::string& path = job.getPath();
  const std::string file = std::filesystem::path(path).filename().string();
  if (auto areas = damagedAreasInManifest(folderOf(path), file))
    job.carryDamage(std::move(*areas), settings_.retryBad);
}

void ExportWorkflow::start() {
  SaveDriver* saver = driver();
  if (saver == nullptr) return;
  driveGone_ = false;  // a drive attached again is tried again
  saver->setJobRetiredHook([this](HavExportJob& job) { onJobRetired(job); });
  saver->startSaving();
  settleRetired();
}

bool ExportWorkflow::isActive() const {
  const SaveDriver* saver = app_.saveDriver();
  return saver != nullptr && saver->isSavingActive() && !app_.jobs.empty();
}

int ExportWorkflow::pauseAfterStep() const {
  const SaveDriver* saver = app_.saveDriver();
  return saver ? saver->pauseAfterStep() : 0;
}

bool ExportWorkflow::step() {
  if (!isActive()) return false;
  if (stopRequested()) {
    stopQueue();
    return false;
  }
  const HavExportJob* head = app_.jobs.front().get();
  if (head != head_) {
    head_ = head;
    headSteps_ = 0;
    headStepLimit_ = head->getNumberOfHojins() / std::max(1, app_.hojinsPerStep) + kSpareSteps;
  }
  if (++headSteps_ > headStepLimit_) {
    abandonHeadJob();
    return isActive();
  }
  driver()->saveStep();
  settleRetired();
  if (driveGone_ && !app_.jobs.empty()) stopQueue();
  return isActive();
}

void ExportWorkflow::onJobRetired(HavExportJob& job) {
  // The next job may be made at the same address: its steps are counted afresh.
  if (&job == head_) head_ = nullptr;
  const auto found = outcomeOfJob_.find(&job);
  if (found == outcomeOfJob_.end()) return;  // queued by someone else
  ExportOutcome& outcome = outcomes_[found->second];
  takeJobResults(job, outcome);
  retired_.push_back(found->second);
  outcomeOfJob_.erase(found);
}

void ExportWorkflow::takeJobResults(HavExportJob& job, ExportOutcome& outcome) {
  outcome.ran = true;
  outcome.path = job.getPath();
  outcome.errorCode = job.getErrorCode();
  outcome.damagedHojins = job.getDamagedHojins();
  outcome.unreadableSectors = job.getUnreadableSectors();
  outcome.wrongHeadHojins = job.getWrongHeadHojins();
  outcome.damagedAreas = job.getDamagedAreas();
  outcome.driveGone = job.isDriveGone();
  if (outcome.driveGone) driveGone_ = true;
  outcome.digests = job.finishDigests();
}

// After the driver's step, so that the driver's own lines (rate, damage, file date) come
// first, as they did when the front ends judged the files themselves.
void ExportWorkflow::settleRetired() {
  std::vector<size_t> retired;
  retired.swap(retired_);
  for (size_t index : retired) settle(outcomes_[index]);
}

void ExportWorkflow::settle(ExportOutcome& outcome) {
  outcome.incompleteReason = incompleteReason(outcome);
  outcome.complete = outcome.incompleteReason.empty() && !outcome.stopped;
  record(outcome);
  if (!outcome.complete && !outcome.stopped)
    app_.log.append(nameOf(outcome.item) + " wurde nicht vollständig gespeichert." +
                    outcome.incompleteReason);
}

void ExportWorkflow::record(ExportOutcome& outcome) {
  if (!settings_.checksums || outcome.item.entry == nullptr) return;
  ExportResultRecorder recorder(settings_.sidecar, folderOf(outcome.path), app_.log);
  outcome.recordWritten = recorder.record(
      {outcome.item.entry, outcome.path, outcome.damagedHojins, outcome.unreadableSectors,
       outcome.complete, outcome.digests, outcome.damagedAreas, outcome.item.doubt});
}

void ExportWorkflow::stopQueue() {
  bool anyKept = false;
  for (const auto& queued : app_.jobs) {
    HavExportJob& job = *queued;
    const auto found = outcomeOfJob_.find(&job);
    if (found == outcomeOfJob_.end()) continue;
    ExportOutcome& outcome = outcomes_[found->second];
    outcomeOfJob_.erase(found);
    outcome.stopped = true;
    if (job.wasOpened() && !job.isFinished()) {
      anyKept = true;
      const bool kept = job.stopAndKeep();
      if (!job.getMessages().empty()) app_.log.append(job.getMessages());
      outcome.resumeLine =
          kept ? textf(
                     "Abgebrochen: \"%s\" enthält Hojin 1 bis %d (von %d) und ist gesichert; "
                     "export --resume setzt dort fort.",
                     job.getPath().c_str(), job.getWholeHojinsWritten(), job.getNumberOfHojins())
               : textf("Abgebrochen: \"%s\" ließ sich nicht sichern.", job.getPath().c_str());
      app_.log.append(outcome.resumeLine);
    }
    takeJobResults(job, outcome);
    outcome.ran = job.wasOpened();
    settle(outcome);
  }
  if (!anyKept) app_.log.append("Abgebrochen.");
  app_.jobs.clear();
  endSaving();
}

void ExportWorkflow::abandonHeadJob() {
  std::unique_ptr<HavExportJob> job = std::move(app_.jobs.front());
  app_.jobs.pop_front();
  head_ = nullptr;
  app_.log.append(
      textf("Abbruch: Speichern in \"%s\" kommt nicht zum Ende.", job->getPath().c_str()));
  job->closeFile();
  if (const auto found = outcomeOfJob_.find(job.get()); found != outcomeOfJob_.end()) {
    ExportOutcome& outcome = outcomes_[found->second];
    outcomeOfJob_.erase(found);
    takeJobResults(*job, outcome);
    if (outcome.errorCode == 0) outcome.errorCode = HavExportJob::kIncomplete;
    settle(outcome);
  }
  if (app_.jobs.empty()) endSaving();
}

void ExportWorkflow::endSaving() {
  head_ = nullptr;
  if (SaveDriver* saver = driver()) saver->endSaving();
}

}  // namespace korvelo
