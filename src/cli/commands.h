// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three commands. Each runs the start-up sequence first; the log goes to the
// terminal (stderr), data to `out` (stdout).

#include <iosfwd>

#include "cli/cli_options.h"
#include "cli/exit_code.h"
#include "cli/terminal.h"

namespace CLI {
class App;
}

namespace korvelo::cli {

ExitCode runSearch(const Invocation& invocation, Terminal& terminal);
ExitCode runList(const Invocation& invocation, Terminal& terminal, std::ostream& out);
ExitCode runExport(const Invocation& invocation, Terminal& terminal, std::ostream& out);
ExitCode runDomain(const Invocation& invocation, Terminal& terminal, std::ostream& out);
ExitCode runMetadataImage(const Invocation& invocation, Terminal& terminal, std::ostream& out);
ExitCode runVerify(const Invocation& invocation, Terminal& terminal, std::ostream& out);
ExitCode runRescue(const Invocation& invocation, Terminal& terminal, std::ostream& out);
ExitCode runCheck(const Invocation& invocation, Terminal& terminal, std::ostream& out);
ExitCode runMap(const Invocation& invocation, Terminal& terminal, std::ostream& out);
ExitCode runDrives(const Invocation& invocation, Terminal& terminal, std::ostream& out);

// Registers "rescue" and its "export" with their options.
CLI::App* addRescueCommand(CLI::App& app, RescueOptions& options);
CLI::App* addDrivesCommand(CLI::App& app, DrivesOptions& options);

}  // namespace korvelo::cli
