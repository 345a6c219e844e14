// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_session.h"

#include "cli/udisks_drives.h"
#include "disk/drive_table.h"

namespace korvelo::cli {

SaveAsAnswer ChooserSlot::chooseSaveAs(const SaveAsRequest& request) {
  if (chooser_ == nullptr) return SaveAsAnswer{};
  return chooser_->chooseSaveAs(request);
}

Settings settingsFor(const Invocation& invocation) {
  Settings settings;
  settings.pathToHAVs = defaultHavFolder();
  const GlobalOptions& global = invocation.global;
  settings.tevionPVR8005HDD = global.tevion;
  // The Tevion's disk has no "file_system.sys" sector of the usual kind.
  settings.noFileSysCheck = global.noFileSysCheck || global.tevion;
  settings.fatSizeAuto = !global.fatSize.has_value();
  if (global.fatSize) settings.fatSizeManuel = *global.fatSize;

  if (invocation.command == Command::Export) {
    const ExportOptions& options = invocation.exportOptions;
    settings.pathToHAVs = options.outputFolder;
    settings.suppressWarnings = !options.warnings;
    settings.useRecordDate = options.recordDate;
    settings.millisecondsPause = options.pauseMs;
    settings.entryNumberInFileName = !options.noEntryNumber;
  }
  return settings;
}

std::vector<DriveSpec> drivesOf(const GlobalOptions& global) {
  std::vector<DriveSpec> drives;
  for (size_t i = 0; i < global.drives.size(); ++i)
    drives.push_back(
        driveSpecOf(global.drives[i], i < global.mapfiles.size() ? global.mapfiles[i] : ""));
  return drives;
}

CliSession::CliSession(const Invocation& invocation, Terminal& terminal)
    : terminal_(terminal), controller_(app_, view_, chooser_) {
  app_.settings = settingsFor(invocation);
  if (!invocation.global.drives.empty()) DriveTable::useDrives(drivesOf(invocation.global));
  const bool quiet = invocation.global.quiet;
  app_.log.attach([this, quiet](std::string_view entry, Severity severity) {
    if (!quiet || showsWhenQuiet(severity)) terminal_.logEntry(entry, severity);
  });
}

CliSession::~CliSession() {
  // The jobs and the driver refer to the terminal's view; let them go while it exists.
  app_.shutdown();
}

bool CliSession::searchDisk() {
  controller_.searchDisk();
  return app_.disk != nullptr && app_.disk->getDrive().isOpen();
}

}  // namespace korvelo::cli
