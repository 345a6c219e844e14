// SPDX-License-Identifier: GPL-3.0-or-later
// search and list: the start-up sequence, then (for list) the recordings on stdout;
// list ends with 1 when directory slots could not be read.

#include <ostream>

#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/recording_json.h"

namespace korvelo::cli {

namespace {

// A File-FAT-Size that was not confirmed leaves the search unfinished, unless the recorder
// holds no recording: nothing is read through it, there is nothing to save.
bool fileFatSizeSettled(CliSession& session) {
  if (session.controller().recorderIsEmpty()) return true;
  return session.admitFileFatSize(false) && session.fileFatSizeConfirmed();
}

}  // namespace

ExitCode runSearch(const Invocation& invocation, Terminal& terminal) {
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  return fileFatSizeSettled(session) ? ExitCode::Success : ExitCode::ExportFailed;
}

ExitCode runList(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  if (invocation.list.json) {
    out << recordingsJson(*session.app().disk) << "\n";
  } else {
    // One line per entry, in the directory's order; a slot of zeros says so at the end.
    const auto& entries = session.app().disk->getEntries();
    const std::vector<std::string>& lines = session.view().lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      const bool blank = i < entries.size() && entries[i]->isBlank();
      out << lines[i] << (blank ? "\t(leerer Platz: nur Nullen)" : "") << "\n";
    }
  }
  out.flush();
  // The directory is listed whatever the File-FAT-Size, but where it is in doubt no
  // recording could be read through it: the run is not clean.
  if (!fileFatSizeSettled(session)) return ExitCode::ExportFailed;
  // A slot that could not be read may hold a recording the list lacks: the list is
  // printed, but not as the whole directory.
  if (session.app().disk->getUnreadableSlots() > 0) return ExitCode::ExportFailed;
  return ExitCode::Success;
}

}  // namespace korvelo::cli
