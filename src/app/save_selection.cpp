// SPDX-License-Identifier: GPL-3.0-or-later
// Saving the selected recordings: one save-as question per recording in list order;
// a cancelled or failed preparation ends the walk, what was accepted before is saved.
// A recording that the checks refuse is skipped, and the walk goes on.

#include "app/session_controller.h"

namespace korvelo {

void SessionController::saveSelection() {
  if (!view_.isSaveEnabled()) return;  // a save runs, or no recorder disk was found
  if (view_.selectedLineCount() == 0) {
    app_.log.append(
        "Bitte einen Eintrag in obiger Liste anwählen und dann auf \"Speichern\" drücken.");
    return;
  }
  if (!app_.disk || !admitFileFatSize() || !workflow_.admitSource(*app_.disk)) return;
  view_.setSaveEnabled(false);
  workflow_.beginRun();
  const int lines = view_.lineCount();
  int result = HavExportJob::kPrepared;
  for (int i = 0;
       i < lines && (result == HavExportJob::kPrepared || result == ExportWorkflow::kRefused);
       ++i) {
    const DirectoryEntry* entry = entryAt(i);
    if (entry == nullptr) break;  // no entry behind this line or any later one
    if (view_.isLineSelected(i))
      result = workflow_.offer({.disk = app_.disk.get(), .entry = entry});
  }
  if (workflow_.hasQueuedJobs() && app_.saveDriver() != nullptr) {
    workflow_.start();  // the driver enables Save once the queue is worked off
  } else {
    view_.setSaveEnabled(true);
  }
}

}  // namespace korvelo
