// export: saves the chosen recordings through the same selection walk and save driver
// as the window, one recording at a time, so that a recording whose target is taken
// is skipped while the others go on.

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <set>
#include <system_error>
#include <thread>

#include "cli/cli_session.h"
#include "cli/commands.h"
#include "app/export_records.h"
#include "app/folder_chooser.h"
#include "cli/interrupt.h"
#include "cli/progress_view.h"
#include "app/workflow_support.h"
#include "disk/text.h"

namespace korvelo::cli {

namespace {

// Steps a job may take beyond those its HOJIN count needs before it counts as stuck.
constexpr int kSpareSteps = 16;

// What the driver saw of a job when it let it go.
struct JobOutcome {
  bool retired = false;
  int errorCode = 0;
  int damagedHojins = 0;
  int64_t unreadableSectors = 0;
  uint64_t expectedSize = 0;
  std::string path;
  std::optional<HavDigests> digests;  // taken while the file was written
};

struct Selection {
  std::vector<int> lines;    // list lines to save, in list order
  std::vector<int> unknown;  // requested entry numbers no line carries
};

Selection selectLines(const Fsr5000Disk& disk, const ExportOptions& options) {
  const auto& entries = disk.getEntries();
  const std::set<int> requested(options.entries.begin(), options.entries.end());
  std::set<int> found;
  Selection selection;
  for (int line = 0; line < static_cast<int>(entries.size()); ++line) {
    const int number = entries[line]->getEntryNumber();
    if (options.all || requested.count(number) > 0) {
      selection.lines.push_back(line);
      found.insert(number);
    }
  }
  std::set<int> reported;
  for (int number : options.entries)
    if (found.count(number) == 0 && reported.insert(number).second)
      selection.unknown.push_back(number);
  return selection;
}

// An empty string when the folder exists or could be made, else the reason.
std::string ensureFolder(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return {};
  if (std::filesystem::exists(folder, error)) return "ist kein Ordner";
  if (std::filesystem::create_directories(folder, error)) return {};
  return error ? error.message() : std::string("unbekannter Fehler");
}

// Steps the driver until its queue is empty. A job that goes on far longer than its
// HOJINs need is abandoned rather than holding the run for ever. False when the user
// asked to stop: the queue is then left as it stands, for the caller to close.
bool workOffQueue(SaveDriver& driver, JobQueue& jobs, LogSink& log, int hojinsPerStep,
                  const InterruptRequest& interrupt) {
  const HavExportJob* head = nullptr;
  int steps = 0;
  int limit = 0;
  while (!jobs.empty() && driver.isSavingActive()) {
    if (interrupt.requested()) return false;
    if (jobs.front().get() != head) {
      head = jobs.front().get();
      steps = 0;
      limit = head->getNumberOfHojins() / hojinsPerStep + kSpareSteps;
    }
    if (++steps > limit) {
      log.append(
          textf("Abbruch: Speichern in \"%s\" kommt nicht zum Ende.", head->getPath().c_str()));
      jobs.pop_front();
      continue;
    }
    driver.saveStep();
    if (const int pause = driver.pauseAfterStep(); pause > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
  }
  jobs.clear();  // nothing may stay behind for the next recording's walk
  return true;
}

// Empty when the file is complete; else why it is not.
std::string incompleteReason(const JobOutcome& outcome) {
  if (!outcome.retired) return {};  // not saved at all: the log already says why
  if (outcome.errorCode != 0) return textf(" (Fehler %d)", outcome.errorCode);
  if (outcome.damagedHojins > 0)
    return textf(" (%d HOJINs mit unlesbaren Sektoren)", outcome.damagedHojins);
  struct stat status {};
  if (::stat(outcome.path.c_str(), &status) != 0) return " (Datei fehlt)";
  if (static_cast<uint64_t>(status.st_size) != outcome.expectedSize)
    return textf(" (Datei hat %s statt %s Bytes)",
                 formatThousands(static_cast<int64_t>(status.st_size), '.').c_str(),
                 formatThousands(static_cast<int64_t>(outcome.expectedSize), '.').c_str());
  return {};
}

bool isComplete(const JobOutcome& outcome) {
  return outcome.retired && incompleteReason(outcome).empty();
}

class ExportRun {
 public:
  ExportRun(CliSession& session, const ExportOptions& options, const InterruptRequest& interrupt)
      : session_(session),
        options_(options),
        interrupt_(interrupt),
        chooser_(options.outputFolder, options.force, session.app().log),
        progress_(session.app().jobs, session.view(), session.terminal()),
        driver_(session.app().makeSaveDriver(progress_)) {
    const ByteSource* source = session.app().disk->getDrive().source();
    chooser_.protectSource(source ? source->identity() : std::nullopt);
    chooser_.resumeExisting(options.resume);
    session.chooser().use(chooser_);
    session.app().digestExports = true;
    driver_.setJobRetiredHook([this](HavExportJob& job) {
      outcome_.retired = true;
      outcome_.digests = job.finishDigests();
      outcome_.errorCode = job.getErrorCode();
      outcome_.damagedHojins = job.getDamagedHojins();
      outcome_.unreadableSectors = job.getUnreadableSectors();
      outcome_.expectedSize = job.getExpectedSize();
      outcome_.path = job.getPath();
    });
  }

  ~ExportRun() { session_.app().shutdown(); }  // the driver refers to progress_

  // Check sums and records of each saved recording go there.
  void recordResultsWith(ExportResultRecorder& results) { results_ = &results; }

  // Saves the recording behind one list line; true when its file is complete.
  bool saveLine(int line, int recording, int recordings, std::ostream& out) {
    outcome_ = JobOutcome{};
    if (results_ && !results_->admits(*session_.app().disk->getEntries()[line])) return false;
    progress_.beginRecording(recording, recordings);
    CliSessionView& view = session_.view();
    view.setSaveEnabled(true);  // the queue is empty: as after the driver's last job
    view.selectOnly(line);
    session_.controller().saveSelection();
    view.clearSelection();
    AppState& app = session_.app();
    const bool worked = workOffQueue(driver_, app.jobs, app.log, app.hojinsPerStep, interrupt_);
    session_.terminal().clearProgress();
    if (!worked) {
      stopHeadJob(line);
      return false;
    }
    if (results_ && outcome_.retired)
      results_->record({app.disk->getEntries()[line].get(), outcome_.path, outcome_.damagedHojins,
                        outcome_.unreadableSectors, isComplete(outcome_), outcome_.digests});
    if (isComplete(outcome_)) {
      out << outcome_.path << "\n";
      out.flush();
      return true;
    }
    const DirectoryEntry& entry = *app.disk->getEntries()[line];
    app.log.append(textf("Eintrag %d \"%s\" wurde nicht vollständig gespeichert.%s",
                         entry.getEntryNumber(),
                         latin1ToUtf8(filterPrintable(entry.getTitle())).c_str(),
                         incompleteReason(outcome_).c_str()));
    if (options_.resume && !options_.force && outcome_.errorCode == HavExportJob::kNotCreated &&
        std::filesystem::exists(outcome_.path))
      app.log.append("Mit --resume --force wird eine fremde Zieldatei neu geschrieben.");
    return false;
  }

  bool interrupted() const { return interrupted_; }

 private:
  // The user asked to stop: the file being written keeps its whole HOJINs, synced and
  // closed, and the log says where an export with --resume goes on.
  void stopHeadJob(int line) {
    interrupted_ = true;
    AppState& app = session_.app();
    if (!app.jobs.empty() && app.jobs.front()->wasOpened() && !app.jobs.front()->isFinished()) {
      HavExportJob& job = *app.jobs.front();
      const bool kept = job.stopAndKeep();
      if (!job.getMessages().empty()) app.log.append(job.getMessages());
      const int whole = job.getWholeHojinsWritten();
      if (kept) {
        app.log.append(textf("Abgebrochen: \"%s\" enthält Hojin 1 bis %d (von %d) und ist "
                             "gesichert; export --resume setzt dort fort.",
                             job.getPath().c_str(), whole, job.getNumberOfHojins()));
      } else {
        app.log.append(textf("Abgebrochen: \"%s\" ließ sich nicht sichern.", job.getPath().c_str()));
      }
      if (results_)
        results_->record({app.disk->getEntries()[line].get(), job.getPath(), job.getDamagedHojins(),
                          job.getUnreadableSectors(), false, job.finishDigests()});
    } else {
      app.log.append("Abgebrochen.");
    }
    app.jobs.clear();
  }

  CliSession& session_;
  const ExportOptions& options_;
  const InterruptRequest& interrupt_;
  bool interrupted_ = false;
  FolderChooser chooser_;
  ProgressView progress_;
  SaveDriver& driver_;
  JobOutcome outcome_;
  ExportResultRecorder* results_ = nullptr;
};

}  // namespace

ExitCode runExport(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  const ExportOptions& options = invocation.exportOptions;
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  if (refuseMountedSource(*session.app().disk, session.app().log)) return ExitCode::ExportFailed;

  const Selection selection = selectLines(*session.app().disk, options);
  if (!selection.unknown.empty()) {
    for (int number : selection.unknown)
      terminal.logLine(
          textf("korvelo-cli: Eintragsnummer %d gibt es auf dieser Festplatte nicht.", number));
    return ExitCode::UsageError;
  }
  if (const std::string problem = ensureFolder(options.outputFolder); !problem.empty()) {
    session.app().log.append(
        textf("Zielordner \"%s\": %s.", options.outputFolder.c_str(), problem.c_str()));
    return ExitCode::ExportFailed;
  }

  const InterruptRequest interrupt;
  ExportRun run(session, options, interrupt);
  ExportResultRecorder results(invocation.exportResults.sidecar, options.outputFolder, session.app().log);
  run.recordResultsWith(results);
  const int recordings = static_cast<int>(selection.lines.size());
  int complete = 0;
  for (int i = 0; i < recordings && !run.interrupted(); ++i)
    if (run.saveLine(selection.lines[i], i + 1, recordings, out)) ++complete;
  if (run.interrupted()) return ExitCode::Interrupted;
  return complete == recordings ? ExitCode::Success : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
