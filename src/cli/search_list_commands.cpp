// SPDX-License-Identifier: GPL-3.0-or-later
// search and list: the start-up sequence, then (for list) the recordings on stdout;
// list ends with 1 when directory slots could not be read.

#include <ostream>

#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/recording_json.h"

namespace korvelo::cli {

ExitCode runSearch(const Invocation& invocation, Terminal& terminal) {
  CliSession session(invocation, terminal);
  return session.searchDisk() ? ExitCode::Success : ExitCode::NoRecorderDisk;
}

ExitCode runList(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  if (invocation.list.json) {
    out << recordingsJson(*session.app().disk) << "\n";
  } else {
    for (const std::string& line : session.view().lines()) out << line << "\n";
  }
  out.flush();
  // A slot that could not be read may hold a recording the list lacks: the list is
  // printed, but not as the whole directory.
  if (session.app().disk->getUnreadableSlots() > 0) return ExitCode::ExportFailed;
  return ExitCode::Success;
}

}  // namespace korvelo::cli
