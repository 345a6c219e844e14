// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/disk_worker.h"

#include <sys/stat.h>

#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <utility>

#include "app/disk_check_log.h"
#include "app/export_summary.h"
#include "app/saved_place.h"
#include "app/udisks_access.h"
#include "disk/mapfile_source.h"
#include "disk/text.h"
#include "export/file_naming.h"
#include "export/hav_geometry.h"
#include "export/hav_head.h"
#include "gui/bar_text.h"
#include "gui/main_dialog.h"

namespace korvelo {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

std::string shownTitle(const DirectoryEntry& entry) {
  return latin1ToUtf8(filterPrintable(entry.getTitle()));
}

std::string nameOf(const ExportItem& item) {
  if (item.rescuedId >= 0) return textf("Gerettete Aufnahme %d", item.rescuedId);
  if (item.entry == nullptr) return "?";
  return textf("Eintrag %d \"%s\"", item.entry->getEntryNumber(), shownTitle(*item.entry).c_str());
}

bool wasSkipped(const ExportOutcome& outcome) {
  return outcome.prepareResult == HavExportJob::kSkipped ||
         outcome.prepareResult == HavExportJob::kCancelled;
}

// What became of a recording that was not saved completely, in the window's words.
std::string incompleteLine(const ExportOutcome& outcome) {
  const std::string name = nameOf(outcome.item);
  if (outcome.result.driveGone)
    return name + ": das Laufwerk antwortete nicht mehr; die Datei lässt sich fortsetzen.";
  if (outcome.stopped())
    return name + ": angehalten; die Datei ist gesichert und lässt sich fortsetzen.";
  if (outcome.damaged()) return name + ": beschädigt" + outcome.result.incompleteReason() + ".";
  if (!outcome.ran) return name + ": nicht gespeichert (der Grund steht im Log).";
  if (outcome.uncertain()) return name + ": unsicher" + outcome.result.incompleteReason() + ".";
  return name + ": nicht gespeichert" + outcome.result.incompleteReason() + ".";
}

}  // namespace

DiskWorker::DiskWorker(AppState& app, MainDialog& window)
    : app_(app), window_(&window), parent_(static_cast<const QWidget*>(&window)), stepTimer_(this) {
  controller_ = std::make_unique<SessionController>(app_, *this, *this);
  app_.makeSaveDriver(*this);
  // The window keeps the same records as the command line: check sums and the manifest.
  controller_->workflow().configure({.checksums = true, .sidecar = false});
  stepTimer_.setSingleShot(true);
  connect(&stepTimer_, &QTimer::timeout, this, &DiskWorker::runSaveStep);
}

DiskWorker::~DiskWorker() = default;

// ---- talking to the window

// The window outlives this thread's work (it ends the thread before it goes), and Qt drops
// what was posted to a window that is gone.
void DiskWorker::post(std::function<void(MainDialog&)> call) {
  MainDialog* window = window_;
  QMetaObject::invokeMethod(
      window, [window, call = std::move(call)] { call(*window); }, Qt::QueuedConnection);
}

void DiskWorker::ask(const std::function<void(MainDialog&)>& call) {
  MainDialog* window = window_;
  QMetaObject::invokeMethod(
      window_, [window, &call] { call(*window); }, Qt::BlockingQueuedConnection);
}

void DiskWorker::beginTask(DiskTask task) {
  task_ = task;
  lastProgress_ = {};
}

void DiskWorker::endTask(DiskTask task) {
  task_ = DiskTask::None;
  post([task](MainDialog& window) { window.onTaskEnded(task); });
}

void DiskWorker::reportProgress(DiskTask task, int64_t done, int64_t total, bool last) {
  const Clock::time_point now = Clock::now();
  if (!last && now - lastProgress_ < kProgressInterval) return;
  lastProgress_ = now;
  post([task, done, total](MainDialog& window) { window.onTaskProgress(task, done, total); });
}

void DiskWorker::requestStop() {
  stop_.store(true);
  controller_->workflow().requestStop();
}

void DiskWorker::clearStopRequest() {
  stop_.store(false);
  controller_->workflow().clearStopRequest();
}

SourceInfo DiskWorker::sourceInfo() const {
  SourceInfo info;
  if (!app_.disk || !app_.disk->getDrive().isOpen()) return info;
  info.open = true;
  const std::optional<DriveSpec> drive = DriveTable::lookup(app_.disk->getDriveChar());
  info.path = drive ? drive->path : "?";
  const ByteSource* source = app_.disk->getDrive().source();
  info.bytes = source ? source->mediaInfo().sizeBytes : -1;
  return info;
}

// ---- requests

void DiskWorker::search(std::vector<DriveSpec> drives, bool again) {
  beginTask(DiskTask::Search);
  if (!again) {
    controller_->searchDisk();
  } else {
    // The rescued disks belong to the disk searched before; queued jobs would keep them.
    if (!workflow().hasQueuedJobs() && !workflow().isActive()) {
      rescueDisks_.clear();
      post([](MainDialog& window) { window.onRescueDisksDropped(); });
    }
    controller_->searchAgain(drives);
  }
  post([info = sourceInfo()](MainDialog& window) { window.onSource(info); });
  offerUdisks();
  endTask(DiskTask::Search);
}

void DiskWorker::offerUdisks() {
  std::optional<std::string> refused = refusedDrivePath();
  if (refused && !listUdisksDisks().failure.empty()) refused.reset();
  post([path = refused.value_or("")](MainDialog& window) { window.onAccessRequestable(path); });
}

void DiskWorker::listUdisks(std::string preselect) {
  UdisksListing listing = listUdisksDisks();
  if (listing.failure.empty() && listing.disks.empty())
    listing.failure = "udisks2 kennt keine Festplatte";
  if (!listing.failure.empty()) {
    app_.log.append(" udisks2 bietet keine Festplatte an: " + listing.failure + ".",
                    Severity::Error);
    return;
  }
  post([disks = std::move(listing.disks), preselect](MainDialog& window) {
    window.onUdisksDisks(disks, preselect);
  });
}

void DiskWorker::openThroughUdisks(std::string device) {
  UdisksGrant grant = requestUdisksAccess(device, true);
  app_.log.append(grant.line, grant.drive ? Severity::Info : Severity::Error);
  if (grant.drive) {
    search({std::move(*grant.drive)}, true);
  } else {
    beginTask(DiskTask::Search);
    endTask(DiskTask::Search);
  }
}

void DiskWorker::openImage(std::string image, std::string mapfile) {
  if (!mapfile.empty()) {
    if (const auto problem = checkMapfile(mapfile)) {
      beginTask(DiskTask::Search);
      app_.log.append(describeMapfileProblem(mapfile, *problem), Severity::Error);
      endTask(DiskTask::Search);
      return;
    }
  }
  search({DriveSpec{std::move(image), std::move(mapfile), {}}}, true);
}

void DiskWorker::appendLog(std::string line) {
  app_.log.append(line);
}

void DiskWorker::applyOptions(OptionsChoice choice) {
  korvelo::applyOptions(app_, choice);
}

void DiskWorker::check() {
  beginTask(DiskTask::Check);
  CheckOptions options;
  options.stop = &stop_;
  options.progress = [this](int64_t done, int64_t total) {
    reportProgress(DiskTask::Check, done, total);
  };
  checkDiskIntoLog(app_.disk.get(), app_.log, options);
  endTask(DiskTask::Check);
}

void DiskWorker::buildMap() {
  beginTask(DiskTask::Map);
  Fsr5000Disk* disk = app_.disk.get();
  if (disk == nullptr || !disk->isDirectoryRead() || disk->heldFileFatSize() <= 0) {
    app_.log.append(
        "Der Belegungsplan braucht eine geöffnete Festplatte mit bekannter File-FAT-Size.",
        Severity::Error);
    endTask(DiskTask::Map);
    return;
  }
  const auto total = static_cast<int64_t>(disk->getEntries().size());
  int64_t done = 0;
  auto ownership = std::make_shared<BlockOwnership>(buildBlockOwnership(
      *disk,
      [&](const BlockOwnership&, const OwnedRecording&, const std::vector<int64_t>&) {
        reportProgress(DiskTask::Map, ++done, total);
      },
      &stop_));
  if (stop_.load()) {
    app_.log.append("Belegungsplan abgebrochen.", Severity::Warning);
  } else {
    post([ownership](MainDialog& window) { window.onDiskMap(ownership); });
  }
  endTask(DiskTask::Map);
}

void DiskWorker::rescueScan(bool byHeads) {
  beginTask(DiskTask::Scan);
  RescueScanResult result;
  if (!app_.disk || !app_.disk->getDrive().isOpen()) {
    app_.log.append("Retten: keine Recorder-Festplatte geöffnet.", Severity::Error);
  } else {
    app_.log.append(byHeads ? "Retten: durchsuche die HOJIN-Köpfe..."
                            : "Retten: durchsuche die Dateizuordnungstabellen...");
    RescueScanOptions options;
    options.stop = &stop_;
    options.progress = [this](const ScanProgress& progress) {
      reportProgress(DiskTask::Scan, progress.done, progress.total);
    };
    result =
        byHeads ? scanHojinHeads(*app_.disk, options) : scanFileFatRegions(*app_.disk, options);
    app_.log.append("Retten: " + result.message, result.ok ? Severity::Info : Severity::Error);
    for (const RescuedRecording& recording : result.recordings)
      if (const std::string doubt = recording.spliceDoubt(); !doubt.empty())
        app_.log.append(textf("Retten: Gerettet %d: %s.", recording.id, doubt.c_str()),
                        Severity::Warning);
    if (result.ok && !result.recordings.empty())
      rescueDisks_.push_back(std::make_unique<RescueDisk>(*app_.disk, result.recordings));
  }
  post([result = std::move(result)](MainDialog& window) { window.onScanResult(result); });
  endTask(DiskTask::Scan);
}

// ---- saving

void DiskWorker::beginSave() {
  beginTask(DiskTask::Save);
  runFirstOutcome_ = workflow().outcomes().size();
  runStart_ = Clock::now();
}

void DiskWorker::saveSelection(SelectionSnapshot selection) {
  selection_ = std::move(selection);
  beginSave();
  controller_->saveSelection();
  continueSaving();
}

std::vector<ExportItem> DiskWorker::selectedItems() const {
  std::vector<ExportItem> items;
  if (!app_.disk) return items;
  const auto& entries = app_.disk->getEntries();
  for (const int line : selection_.selected)
    if (line >= 0 && static_cast<size_t>(line) < entries.size())
      items.push_back({app_.disk.get(), entries[static_cast<size_t>(line)].get()});
  return items;
}

ExistingTargets DiskWorker::askAboutExisting(const std::vector<ExportItem>& items,
                                             const std::string& folder) {
  std::vector<std::string> proposed;
  for (const ExportItem& item : items)
    proposed.push_back(proposeFileName(*item.entry, app_.settings.entryNumberInFileName).name);
  std::vector<std::string> existing;
  for (const std::string& name : FolderChooser::distinctNames(proposed)) {
    struct stat status {};
    if (::lstat(joinPath(folder, name).c_str(), &status) == 0) existing.push_back(name);
  }
  if (existing.empty()) return ExistingTargets::Skip;
  if (!askWindow_.load()) return ExistingTargets::Cancel;
  ExistingTargets answer = ExistingTargets::Cancel;
  ask([&](MainDialog& window) { answer = window.askExistingTargets(existing); });
  return answer;
}

void DiskWorker::saveSelectionToFolder(SelectionSnapshot selection, std::string folder) {
  selection_ = std::move(selection);
  beginSave();
  const std::vector<ExportItem> items = selectedItems();
  if (items.empty()) {
    app_.log.append(
        "Bitte einen Eintrag in obiger Liste anwählen und dann auf \"Speichern\" drücken.");
    continueSaving();
    return;
  }
  if (!saveEnabled_ || !workflow().admitSource(*app_.disk)) {
    continueSaving();
    return;
  }
  const ExistingTargets existing = askAboutExisting(items, folder);
  if (existing == ExistingTargets::Cancel) {
    app_.log.append("Speichern abgebrochen.");
    continueSaving();
    return;
  }
  if (const std::string problem = targetFolderProblem(folder); !problem.empty()) {
    app_.log.append(problem, Severity::Error);
    continueSaving();
    return;
  }
  FolderChooser chooser(folder, existing == ExistingTargets::Overwrite, app_.log);
  const ByteSource* source = app_.disk->getDrive().source();
  chooser.protectSource(source ? source->identity() : std::nullopt);
  chooser.resumeExisting(existing == ExistingTargets::Resume);
  setSaveEnabled(false);
  workflow().beginRun(items);
  folderChooser_ = &chooser;
  // Like the command line: a recording that is skipped or fails does not end the walk.
  for (const ExportItem& item : items) workflow().offer(item);
  folderChooser_ = nullptr;
  if (workflow().hasQueuedJobs())
    workflow().start();  // the driver enables Save once the queue is worked off
  else
    setSaveEnabled(true);
  continueSaving();
}

void DiskWorker::saveRescued(std::vector<int> ids) {
  beginSave();
  if (!rescueDisks_.empty() && app_.disk && workflow().admitSource(*app_.disk)) {
    RescueDisk& disk = *rescueDisks_.back();
    workflow().beginRun();
    for (const int id : ids) {
      const DirectoryEntry* entry = disk.entryFor(id);
      if (entry == nullptr) continue;
      const RescuedRecording* found = disk.recordingFor(id);
      const int result =
          workflow().offer({&disk, entry, id, found ? found->spliceDoubt() : std::string()});
      if (result != HavExportJob::kPrepared && result != ExportWorkflow::kRefused) break;
    }
    if (workflow().hasQueuedJobs()) {
      setSaveEnabled(false);  // the driver enables Save again once the queue is worked off
      workflow().start();
    }
  }
  continueSaving();
}

void DiskWorker::continueSaving() {
  if (workflow().isActive()) {
    if (!stepTimer_.isActive()) stepTimer_.start(0);
    return;
  }
  endSave();
}

// The pause lies between the steps, in this thread's loop, so that a request to stop is
// taken between two steps.
void DiskWorker::runSaveStep() {
  if (workflow().step()) {
    postSaveProgress();
    stepTimer_.start(workflow().pauseAfterStep());
    return;
  }
  endSave();
}

void DiskWorker::stopNow() {
  if (!stepTimer_.isActive()) return;
  stepTimer_.stop();
  runSaveStep();
}

// One summary line for the run, as the command line prints it (after a line for a folder
// moved or removed meanwhile), and what the window should tell about recordings that were
// not saved completely.
void DiskWorker::endSave() {
  workflow().endRun();
  const std::vector<ExportOutcome>& outcomes = workflow().outcomes();
  SaveReport report;
  if (outcomes.size() > runFirstOutcome_) {
    const std::vector<ExportOutcome> run(
        outcomes.begin() + static_cast<std::ptrdiff_t>(runFirstOutcome_), outcomes.end());
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - runStart_);
    logFolderFates(run, app_.log);
    app_.log.append(exportSummary(run, elapsed.count()), Severity::Summary);
    for (const ExportOutcome& outcome : run) {
      report.stopped = report.stopped || outcome.stopped();
      report.driveGone = report.driveGone || outcome.result.driveGone;
      if (!outcome.complete() && !wasSkipped(outcome))
        report.incomplete.push_back(incompleteLine(outcome));
    }
  }
  runFirstOutcome_ = outcomes.size();
  post([report = std::move(report)](MainDialog& window) { window.onSaveReport(report); });
  endTask(DiskTask::Save);
}

void DiskWorker::finish() {
  requestStop();
  if (stepTimer_.isActive()) stopNow();
  stepTimer_.stop();
  QThread::currentThread()->quit();
}

// ---- SessionView

void DiskWorker::appendListLine(const std::string& line) {
  ListRow row;
  row.line = line;
  const auto index = static_cast<size_t>(selection_.lines++);
  if (app_.disk && index < app_.disk->getEntries().size()) {
    const DirectoryEntry& entry = *app_.disk->getEntries()[index];
    row.hasEntry = true;
    row.start = entry.getStartTime();
    row.durationMs = entry.getDurationMs();
    row.sizeBytes = entry.getSizeInBytes();
    row.description = SessionController::describe(entry);
  }
  post([row = std::move(row)](MainDialog& window) { window.onRowAppended(row); });
}

void DiskWorker::clearList() {
  selection_ = {};
  post([](MainDialog& window) { window.onRowsCleared(); });
}

int DiskWorker::selectedLineCount() const {
  return static_cast<int>(selection_.selected.size());
}

bool DiskWorker::isLineSelected(int index) const {
  return std::binary_search(selection_.selected.begin(), selection_.selected.end(), index);
}

void DiskWorker::setDescription(const std::string& text) {
  post([text](MainDialog& window) { window.onDescription(text); });
}

void DiskWorker::setTotalText(const std::string& text) {
  post([text](MainDialog& window) { window.onTotalText(text); });
}

void DiskWorker::setSaveEnabled(bool enabled) {
  saveEnabled_ = enabled;
  post([enabled](MainDialog& window) { window.onSaveAllowed(enabled); });
}

// ---- SaveDriverView

// The driver sets the ranges on each job's first step: a new recording begins here.
void DiskWorker::setReadBarRange(int lower, int upper) {
  const ExportProgress progress = workflow().progress();
  QString readFormat = readBarFormat(progress.recording, progress.recordings);
  QString writeFormat = writeBarFormat(0, 0);
  post([lower, upper, readFormat, writeFormat](MainDialog& window) {
    window.onReadBarRange(lower, upper, readFormat, writeFormat);
  });
}

void DiskWorker::setReadBarPosition(int position) {
  post([position](MainDialog& window) { window.onReadBarPosition(position); });
}

void DiskWorker::setWriteBarRange(int lower, int upper) {
  post([lower, upper](MainDialog& window) { window.onWriteBarRange(lower, upper); });
}

void DiskWorker::setWriteBarPosition(int position) {
  post([position](MainDialog& window) { window.onWriteBarPosition(position, std::nullopt); });
}

// After each step: the rate and what is left of this recording, from the run's progress.
void DiskWorker::postSaveProgress() {
  const ExportProgress progress = workflow().progress();
  const std::optional<double> rate = progress.bytesPerSecond();
  if (!rate) return;
  const QString format =
      writeBarFormat(*rate, static_cast<double>(progress.expectedBytes - progress.fileBytes));
  post([format](MainDialog& window) { window.onWriteBarFormat(format); });
}

void DiskWorker::setWindowTitle(const std::string& title) {
  post([title](MainDialog& window) { window.onTitle(title); });
}

void DiskWorker::uncheckSuppressMessages() {
  suppress_.store(false);
  post([](MainDialog& window) { window.onSuppressUnchecked(); });
}

// ---- SaveAsChooser

SaveAsAnswer DiskWorker::chooseSaveAs(const SaveAsRequest& request) {
  if (folderChooser_ != nullptr) return folderChooser_->chooseSaveAs(request);
  SaveAsAnswer answer;  // cancelled
  if (!askWindow_.load()) return answer;
  ask([&](MainDialog& window) { answer = window.askSaveAs(request); });
  if (answer.kind != SaveAsAnswer::Kind::Chosen) return answer;
  // A folder typed into the dialog that is not there yet is made, as the command line does.
  const std::string folder = folderOf(answer.path);
  if (const std::string problem = targetFolderProblem(folder.empty() ? "." : folder);
      !problem.empty()) {
    app_.log.append(problem, Severity::Error);
    answer.kind = SaveAsAnswer::Kind::Failed;
    answer.errorCode = ENOENT;
  }
  return answer;
}

}  // namespace korvelo
