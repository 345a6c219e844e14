// SPDX-License-Identifier: GPL-3.0-or-later
// export: saves the chosen recordings of the directory, one after the other, through the
// same export workflow as the window, so that a recording whose target is taken is
// skipped while the others go on.

#include <ostream>

#include "app/folder_chooser.h"
#include "app/workflow_support.h"
#include "cli/commands.h"
#include "cli/export_runner.h"
#include "disk/text.h"

namespace korvelo::cli {

ExitCode runExport(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  const ExportOptions& options = invocation.exportOptions;
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  if (!session.admitFileFatSize()) return ExitCode::ExportFailed;
  Fsr5000Disk& disk = *session.app().disk;
  if (!session.controller().workflow().admitSource(disk)) return ExitCode::ExportFailed;

  const EntryChoice choice = chooseEntries(disk, options.entries, options.all);
  if (!choice.unknown.empty()) {
    for (int number : choice.unknown)
      terminal.logLine(
          textf("korvelo-cli: Eintragsnummer %d gibt es auf dieser Festplatte nicht.", number));
    return ExitCode::UsageError;
  }
  if (const std::string problem = targetFolderProblem(options.outputFolder); !problem.empty()) {
    session.app().log.append(problem, Severity::Error);
    return ExitCode::ExportFailed;
  }
  const int unreadableSlots = disk.getUnreadableSlots();
  std::vector<ExportItem> items;
  int blank = 0;
  for (const DirectoryEntry* entry : choice.entries) {
    if (entry->isBlank()) {
      ++blank;  // a slot of zeros is no recording: there is nothing to save
      continue;
    }
    items.push_back({.disk = &disk, .entry = entry});
  }
  if (blank > 0)
    session.app().log.append(textf("%d leere Verzeichnisplätze (nur Nullen) übersprungen.", blank),
                             Severity::Warning);
  const TargetRules rules{options.outputFolder, options.force, options.resume || options.retryBad,
                          invocation.exportResults.sidecar, options.retryBad};
  const ExitCode saved = saveItems(session, items, rules, out);
  // Recordings behind an unreadable directory slot could not even be offered, and a
  // blank slot may stand where a recording's entry was lost.
  if (saved == ExitCode::Success && (unreadableSlots > 0 || blank > 0))
    return ExitCode::ExportFailed;
  return saved;
}

}  // namespace korvelo::cli
