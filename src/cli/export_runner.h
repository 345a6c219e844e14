// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line's way of saving recordings, for export and rescue export alike: one
// recording after the other through the session's export workflow, a progress line,
// Ctrl-C asking the workflow to stop, and the path of every complete file on stdout.

#include <iosfwd>
#include <string>
#include <vector>

#include "app/export_workflow.h"
#include "cli/cli_session.h"
#include "cli/exit_code.h"

namespace korvelo::cli {

struct TargetRules {
  std::string folder;
  bool force = false;   // existing targets are replaced
  bool resume = false;  // existing targets are continued
  bool sidecar = false;
  bool retryBad = false;  // continued targets first get their zero-filled areas read again
};

// Saves the items; the session's disk must have been found. Exit code: 0 when every file
// is complete, 130 when stopped by a signal, else 1. Ends the session's saving (the app
// is shut down) before it returns.
ExitCode saveItems(CliSession& session, const std::vector<ExportItem>& items,
                   const TargetRules& rules, std::ostream& out);

}  // namespace korvelo::cli
