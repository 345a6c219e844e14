// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/export_workflow.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/export_records.h"
#include "app/manifest.h"
#include "app/manifest_journal.h"
#include "app/recorded_sums.h"
#include "disk/front_end_words.h"
#include "disk/system_reason.h"
#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/file_naming.h"
#include "export/hav_geometry.h"
#include "export/save_failure_advice.h"
#include "recfs/file_fat_doubt.h"

namespace korvelo {
namespace {

// Steps a job may take beyond those its HOJIN count needs before it counts as stuck.
constexpr int kSpareSteps = 16;

std::string shownTitle(const DirectoryEntry& entry) {
  return latin1ToUtf8(filterPrintable(entry.getTitle()));
}

}  // namespace

ExportWorkflow::ExportWorkflow(AppState& app, SaveAsChooser& chooser, AdmissionQueries queries)
    : app_(app), chooser_(chooser), queries_(std::move(queries)) {}

ExportWorkflow::~ExportWorkflow() {
  if (SaveDriver* saver = driver()) saver->setJobRetiredHook({});
  // Records a front end did not fold stay in the journal, where every reader finds them.
  foldManifestJournal();
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
  if (settings_.checksums) {
    if (!hashing_) hashing_ = std::make_shared<HavDigester>();
    job->digestWhileWriting(hashing_);
  }
  job->setStopFlag(&stop_);
  int result = job->prepareSave(*item.entry, chooser_, parent_, app_.settings.pathToHAVs,
                                app_.hojinsPerStep, settings.entryNumberInFileName);
  if (!job->getMessages().empty()) log.append(job->getMessages(), job->getMessageSeverity());
  const std::string size = formatThousands(static_cast<int64_t>(job->getExpectedSize()), '.');
  if (settings.debugInfo) {
    log.append(textf("Insgesamt %d HOJINs sollen kopiert werden: Größe der Zieldatei %s Bytes.",
                     job->getNumberOfHojins(), size.c_str()));
  } else {
    log.append(textf("Größe der Zieldatei %s Bytes.", size.c_str()));
  }
  if (result == HavExportJob::kPrepared) {
    std::string refusal = giveFolder(*job);
    if (refusal.empty()) refusal = refusalOf(*job);
    if (!refusal.empty()) {
      log.append(nameOf(item) + " wird nicht gespeichert: " + refusal, Severity::Error);
      result = kRefused;
    }
  } else if (result == HavExportJob::kCancelled) {
    log.append("Speichern abgebrochen.");
  } else if (result == HavExportJob::kSkipped) {
    log.append(nameOf(item) + " übersprungen.", Severity::Warning);
  } else {
    log.append(textf("Fehler %d ist beim Vorbereiten des Speicherns aufgetreten.", result),
               Severity::Error);
    if (const std::string advice = adviceAfterPrepareFailure(result); !advice.empty())
      log.append(advice, Severity::Error);
  }

  ExportOutcome outcome;
  outcome.item = item;
  noteFileFatDoubt(outcome.item);
  outcome.prepareResult = result;
  outcome.result.expectedBytes = static_cast<int64_t>(job->getExpectedSize());
  if (result == HavExportJob::kPrepared || result == kRefused) outcome.path = job->getPath();
  outcome.result.path = outcome.path;
  progress_.plan(outcome.result.expectedBytes);
  if (result == HavExportJob::kPrepared) {
    carryEarlierRecord(*job);
    targets_.add(job->getPath());
    job->setRunIndex(outcomes_.size());
    app_.jobs_.push_back(std::move(job));
  } else {
    progress_.pass(outcome.result.expectedBytes);
  }
  outcomes_.push_back(std::move(outcome));
  return result;
}

std::string ExportWorkflow::giveFolder(HavExportJob& job) {
  if (job.targetFolder()) {
    runFolder_ = job.targetFolder();
    return {};
  }
  const std::string folder = folderOf(job.getPath());
  if (!runFolder_ || runFolder_->path() != folder) {
    auto opened = std::make_shared<TargetFolder>();
    if (const int error = opened->open(folder); error != 0)
      return textf("Zielordner \"%s\": %s.", folder.c_str(), systemReason(error).c_str());
    runFolder_ = std::move(opened);
  }
  job.setTargetFolder(runFolder_);
  return {};
}

std::string ExportWorkflow::refusalOf(const HavExportJob& job) const {
  const std::string& path = job.getPath();
  const TargetFolder& folder = *job.targetFolder();
  const std::string name = std::filesystem::path(path).filename().string();
  const ByteSource* source = job.sourceDrive();
  if (std::string refusal = targets_.refusal(path, folder, name); !refusal.empty()) return refusal;
  // The disk itself, the settings file, a mapfile or a manifest chosen in the save-as dialog.
  if (std::string refusal = inputOfRunProblem(folder, name, path, source); !refusal.empty())
    return refusal;
  // The file system is asked through the folder opened; the message names its path.
  const FileSystemTypeQuery& query = queries_.fileSystemType;
  const FileSystemTypeQuery throughFolder =
      query ? FileSystemTypeQuery([&](const std::string&) { return query(folder.readPathOf("")); })
            : FileSystemTypeQuery();
  return fileSizeLimitProblem(folder.path().empty() ? "." : folder.path(), job.getExpectedSize(),
                              throughFolder);
}

// A file that is continued keeps the zero-filled areas its manifest record names (and
// may have them read again), and is held against the sum recorded for it; for a file
// written anew the manifest is not even read. The manifest is read once per folder and
// run: a resume of 2000 files would otherwise parse the whole manifest for each.
void ExportWorkflow::carryEarlierRecord(HavExportJob& job) {
  if (!settings_.checksums || !job.continuesExistingFile()) return;
  const TargetFolder& folder = *job.targetFolder();
  const std::string file = std::filesystem::path(job.getPath()).filename().string();
  const EarlierRecords& earlier = earlierRecordsIn(folder);
  std::string damage;
  if (auto areas = damagedAreasIn(earlier.document, folder.pathOf(kManifestName), file,
                                  static_cast<int64_t>(job.getExpectedSize()), &damage))
    job.carryDamage(DamageLedger(std::move(*areas)), settings_.retryBad);
  else if (!damage.empty())
    app_.log.append(damage, Severity::Warning);
  // Read through the folder opened: its path may lead elsewhere by now.
  for (const RecordedSums& sums : recordedSumsFor(folder.readPathOf(file), earlier.sums)) {
    if (!sums.damage.empty() || sums.sha256File.empty() || sums.fileBytes < 0) continue;
    job.expectRecordedFile(RecordedFile{sums.fileBytes, sums.sha256File, sums.prefixes});
    break;
  }
}

const ExportWorkflow::EarlierRecords& ExportWorkflow::earlierRecordsIn(const TargetFolder& folder) {
  struct stat info {};
  ::fstat(folder.descriptor(), &info);
  std::unique_ptr<EarlierRecords>& known = earlierRecords_[{info.st_dev, info.st_ino}];
  if (!known) {
    const std::string readPath = folder.readPathOf(kManifestName);
    known = std::make_unique<EarlierRecords>();
    known->document = readManifestDocument(readPath);
    known->sums = manifestSums(known->document, readPath);
    // Of the records only what a carry reads later is kept: 2000 whole records held as
    // JSON would take more memory than the export itself.
    if (known->document.problem.empty() && manifestRecordings(known->document.json) != nullptr) {
      for (nlohmann::json& record : known->document.json["recordings"]) {
        if (!record.is_object()) continue;
        nlohmann::json kept = nlohmann::json::object();
        for (const char* key : {"file", "damaged_areas"})
          if (const auto field = record.find(key); field != record.end()) kept[key] = *field;
        record = std::move(kept);
      }
    }
    noteManifestIn(folder);
  }
  return *known;
}

bool ExportWorkflow::endRun() {
  std::string keptAside;
  const std::string problem = foldManifestJournal(&keptAside);
  if (!keptAside.empty()) app_.log.append(keptAside, Severity::Warning);
  if (!problem.empty()) app_.log.append(problem, Severity::Error);
  return problem.empty() && keptAside.empty();
}

void ExportWorkflow::start() {
  SaveDriver* saver = driver();
  if (saver == nullptr) return;
  driveGone_ = false;  // a drive attached again is tried again
  readFileFatsAhead();
  saver->setJobRetiredHook([this](HavExportJob& job) { onJobRetired(job); });
  saver->startSaving();
  settleRetired();
}

void ExportWorkflow::beginRun(int recordings, int64_t bytes) {
  targets_.clear();
  runFolder_.reset();
  earlierRecords_.clear();
  progress_.beginRun(recordings, bytes);
  runItems_.clear();
  runFirstOutcome_ = outcomes_.size();
  fatsReadAhead_ = false;
  fileFatDoubts_.clear();
  hashing_.reset();  // its threads end with the last job of the walk before
}

void ExportWorkflow::beginRun(const std::vector<ExportItem>& items) {
  int64_t bytes = 0;
  for (const ExportItem& item : items) bytes += item.entry ? havFileBytes(*item.entry) : 0;
  beginRun(static_cast<int>(items.size()), bytes);
  runItems_ = items;
}

// A recording's HOJINs lie in ascending order, but the file-FAT area lies before all of
// them: without the pass every recording begins with a trip back there and out again.
void ExportWorkflow::readFileFatsAhead() {
  if (fatsReadAhead_) return;
  fatsReadAhead_ = true;
  std::map<Fsr5000Disk*, std::vector<const DirectoryEntry*>> recordings;
  for (const auto& job : app_.jobs_) {
    if (job->wasOpened() || job->getRunIndex() >= outcomes_.size()) continue;
    const ExportItem& item = outcomes_[job->getRunIndex()].item;
    if (item.disk && item.entry) recordings[item.disk].push_back(item.entry);
  }
  const size_t offered = outcomes_.size() - runFirstOutcome_;
  for (size_t i = offered; i < runItems_.size(); ++i)
    if (runItems_[i].disk && runItems_[i].entry)
      recordings[runItems_[i].disk].push_back(runItems_[i].entry);
  // The same pass holds every recording against the others' file FATs: one that shares
  // blocks may copy another's HOJINs, whose heads look right all the same.
  for (auto& [disk, entries] : recordings)
    fileFatDoubts_.merge(fileFatDoubts(disk->readFileFatsAhead(entries)));
  for (size_t i = runFirstOutcome_; i < outcomes_.size(); ++i) noteFileFatDoubt(outcomes_[i].item);
}

void ExportWorkflow::noteFileFatDoubt(ExportItem& item) const {
  const auto found = fileFatDoubts_.find(item.entry);
  if (found == fileFatDoubts_.end()) return;
  item.doubt += (item.doubt.empty() ? "" : "; ") + found->second;
}

ExportProgress ExportWorkflow::progress() const {
  return progress_.figures();
}

bool ExportWorkflow::isActive() const {
  const SaveDriver* saver = app_.saveDriver();
  return saver != nullptr && saver->isSavingActive() && !app_.jobs_.empty();
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
  trackHeadJob();
  if (++headSteps_ > headStepLimit_) {
    abandonHeadJob();
    return isActive();
  }
  driver()->saveStep();
  if (!app_.jobs_.empty() && app_.jobs_.front().get() == head_)
    progress_.update(static_cast<int64_t>(head_->getBytesWritten()), head_->getCurrentHojin());
  settleRetired();
  if (driveGone_ && !app_.jobs_.empty()) stopQueue();
  return isActive();
}

// The head job's steps are counted, and its progress begun, when it first comes up.
void ExportWorkflow::trackHeadJob() {
  const HavExportJob* head = app_.jobs_.front().get();
  if (head == head_) return;
  head_ = head;
  headSteps_ = 0;
  headStepLimit_ = head->getNumberOfHojins() / std::max(1, app_.hojinsPerStep) + kSpareSteps;
  const DirectoryEntry* entry = head->getEntry();
  progress_.beginRecording(static_cast<int64_t>(head->getExpectedSize()), head->getBytesKept(),
                           head->getNumberOfHojins(), entry ? shownTitle(*entry) : std::string());
}

void ExportWorkflow::onJobRetired(HavExportJob& job) {
  // The next job may be made at the same address: its steps are counted afresh.
  if (&job == head_) head_ = nullptr;
  const size_t index = job.getRunIndex();
  if (index >= outcomes_.size()) return;  // queued by someone else
  takeJobResult(job, outcomes_[index]);
  retired_.push_back(index);
}

void ExportWorkflow::takeJobResult(HavExportJob& job, ExportOutcome& outcome) {
  const bool stopped = outcome.result.stopped;
  outcome.ran = true;
  outcome.result = job.takeResult();
  outcome.result.stopped = stopped;
  outcome.result.doubt = outcome.item.doubt;
  outcome.path = outcome.result.path;
  outcome.folder = job.targetFolder();
  if (outcome.result.driveGone) driveGone_ = true;
  progress_.endRecording(outcome.result.fileBytes);
}

// After the driver's step, so that the driver's own lines (rate, damage, file date) come
// first, as they did when the front ends judged the files themselves.
ExportVerdict ExportOutcome::verdict() const {
  if (prepareResult == HavExportJob::kSkipped || prepareResult == HavExportJob::kCancelled)
    return ExportVerdict::Skipped;
  if (prepareResult == ExportWorkflow::kRefused) return ExportVerdict::Refused;
  if (ran) return result.verdict();
  return result.stopped ? ExportVerdict::Stopped : ExportVerdict::Failed;
}

void ExportWorkflow::settleRetired() {
  std::vector<size_t> retired;
  retired.swap(retired_);
  for (size_t index : retired) settle(outcomes_[index]);
}

void ExportWorkflow::settle(ExportOutcome& outcome) {
  record(outcome);
  if (!outcome.complete() && !outcome.stopped())
    app_.log.append(nameOf(outcome.item) + " wurde nicht vollständig gespeichert." +
                        (outcome.ran ? outcome.result.incompleteReason() : std::string()),
                    Severity::Error);
}

void ExportWorkflow::record(ExportOutcome& outcome) {
  if (!settings_.checksums || outcome.item.entry == nullptr || !outcome.ran) return;
  // A job that wrote nothing leaves the file and its record as they were: a file refused
  // for being changed or another's, or one put in the place of the file written, must not
  // have its sums taken as the recording's.
  if (outcome.result.errorCode == HavExportJob::kNotCreated || outcome.result.targetLost ||
      !outcome.folder)
    return;
  ExportResultRecorder recorder(settings_.sidecar, *outcome.folder, app_.log);
  outcome.recordWritten = recorder.record(*outcome.item.entry, outcome.result);
}

void ExportWorkflow::stopQueue() {
  bool anyKept = false;
  for (const auto& queued : app_.jobs_) {
    HavExportJob& job = *queued;
    if (job.getRunIndex() >= outcomes_.size()) continue;
    ExportOutcome& outcome = outcomes_[job.getRunIndex()];
    outcome.result.stopped = true;
    if (job.wasOpened() && !job.isFinished()) {
      anyKept = true;
      const bool kept = job.stopAndKeep();
      if (!job.getMessages().empty()) app_.log.append(job.getMessages(), job.getMessageSeverity());
      outcome.resumeLine =
          kept ? textf("Abgebrochen: \"%s\" enthält Hojin 1 bis %d (von %d) und ist gesichert; %s",
                       job.getPath().c_str(), job.getWholeHojinsWritten(), job.getNumberOfHojins(),
                       nextStepWords().resumeKept)
               : textf("Abgebrochen: \"%s\" ließ sich nicht sichern.", job.getPath().c_str());
      app_.log.append(outcome.resumeLine, kept ? Severity::Warning : Severity::Error);
    }
    if (job.wasOpened()) {
      takeJobResult(job, outcome);
    } else {
      progress_.pass(outcome.result.expectedBytes);
    }
    settle(outcome);
  }
  if (!anyKept) app_.log.append("Abgebrochen.", Severity::Warning);
  app_.jobs_.clear();
  endSaving();
}

void ExportWorkflow::abandonHeadJob() {
  std::unique_ptr<HavExportJob> job = std::move(app_.jobs_.front());
  app_.jobs_.pop_front();
  head_ = nullptr;
  app_.log.append(
      textf("Abbruch: Speichern in \"%s\" kommt nicht zum Ende.", job->getPath().c_str()),
      Severity::Error);
  job->closeFile();
  if (job->getRunIndex() < outcomes_.size()) {
    ExportOutcome& outcome = outcomes_[job->getRunIndex()];
    takeJobResult(*job, outcome);
    if (outcome.result.errorCode == 0) outcome.result.errorCode = HavExportJob::kIncomplete;
    settle(outcome);
  }
  if (app_.jobs_.empty()) endSaving();
}

void ExportWorkflow::endSaving() {
  head_ = nullptr;
  if (SaveDriver* saver = driver()) saver->endSaving();
}

}  // namespace korvelo
