// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/export_runner.h"

#include <chrono>
#include <filesystem>
#include <ostream>
#include <system_error>
#include <thread>

#include "app/export_summary.h"
#include "app/folder_chooser.h"
#include "app/saved_place.h"
#include "cli/interrupt.h"
#include "cli/progress_view.h"

namespace korvelo::cli {
namespace {

// The driver and its jobs refer to the progress view, which lives only while saving.
class SavingScope {
 public:
  explicit SavingScope(AppState& app) : app_(app) {}
  ~SavingScope() { app_.shutdown(); }
  SavingScope(const SavingScope&) = delete;
  SavingScope& operator=(const SavingScope&) = delete;

 private:
  AppState& app_;
};

}  // namespace

ExitCode saveItems(CliSession& session, const std::vector<ExportItem>& items,
                   const TargetRules& rules, std::ostream& out) {
  AppState& app = session.app();
  ExportWorkflow& workflow = session.controller().workflow();
  FolderChooser chooser(rules.folder, rules.force, app.log);
  const ByteSource* source = app.disk->getDrive().source();
  chooser.protectSource(source ? source->identity() : std::nullopt);
  chooser.resumeExisting(rules.resume);
  session.chooser().use(chooser);
  workflow.configure({.checksums = true, .sidecar = rules.sidecar, .retryBad = rules.retryBad});

  ProgressView progress(session.view(), session.terminal());
  app.makeSaveDriver(progress);
  const SavingScope saving(app);
  const InterruptRequest interrupt(workflow.stopFlag());

  const auto started = std::chrono::steady_clock::now();
  const int count = static_cast<int>(items.size());
  workflow.beginRun(items);
  bool recordsWritten = true;
  bool interrupted = false;
  for (int i = 0; i < count && !workflow.driveGone(); ++i) {
    if (workflow.stopRequested()) {
      app.log.append("Abgebrochen.", Severity::Warning);
      interrupted = true;
      break;
    }
    if (workflow.offer(items[i]) == HavExportJob::kPrepared) {
      workflow.start();
      while (workflow.step()) {
        progress.show(workflow.progress());
        if (const int pause = workflow.pauseAfterStep(); pause > 0)
          std::this_thread::sleep_for(std::chrono::milliseconds(pause));
      }
    }
    session.terminal().clearProgress();
    const ExportOutcome& outcome = workflow.outcomes().back();
    recordsWritten = recordsWritten && outcome.recordWritten;
    if (outcome.stopped()) {
      interrupted = true;
      break;
    }
    if (!outcome.complete() && rules.resume && !rules.force &&
        outcome.result.errorCode == HavExportJob::kNotCreated &&
        std::filesystem::exists(outcome.path)) {
      app.log.append(
          "Mit --resume --force wird sie neu geschrieben, wenn sie keine andere Aufnahme "
          "enthält; sonst wird unter dem nächsten freien Namen gespeichert.",
          Severity::Warning);
    }
  }
  recordsWritten = workflow.endRun() && recordsWritten;
  // The paths once the run is over, where the files are then: the folder may have been
  // moved or removed while it went on.
  int complete = 0;
  for (const ExportOutcome& outcome : workflow.outcomes()) {
    if (!isSavedNow(outcome)) continue;
    ++complete;
    if (const SavedPlace place = savedPlaceOf(outcome); !place.path.empty())
      out << place.path << "\n";
  }
  out.flush();
  logFolderFates(workflow.outcomes(), app.log);
  const auto elapsed = std::chrono::steady_clock::now() - started;
  app.log.append(
      exportSummary(workflow.outcomes(),
                    std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()),
      Severity::Summary);
  if (interrupted) return ExitCode::Interrupted;
  // A file without its record cannot be checked later: that too is a failure.
  return complete == count && recordsWritten ? ExitCode::Success : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
