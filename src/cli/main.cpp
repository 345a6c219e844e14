// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-cli: parses the command line, runs one command, maps its ExitCode.

#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/udisks_drives.h"

namespace {

korvelo::cli::ExitCode run(const korvelo::cli::Invocation& invocation,
                           korvelo::cli::Terminal& terminal, std::ostream& out) {
  using korvelo::cli::Command;
  switch (invocation.command) {
    case Command::List:
      return korvelo::cli::runList(invocation, terminal, out);
    case Command::Export:
      return korvelo::cli::runExport(invocation, terminal, out);
    case Command::Domain:
      return korvelo::cli::runDomain(invocation, terminal, out);
    case Command::MetadataImage:
      return korvelo::cli::runMetadataImage(invocation, terminal, out);
    case Command::Verify:
      return korvelo::cli::runVerify(invocation, terminal, out);
    case Command::Rescue:
      return korvelo::cli::runRescue(invocation, terminal, out);
    case Command::Check:
      return korvelo::cli::runCheck(invocation, terminal, out);
    case Command::Map:
      return korvelo::cli::runMap(invocation, terminal, out);
    case Command::Drives:
      return korvelo::cli::runDrives(invocation, terminal, out);
    case Command::Search:
      break;
  }
  return korvelo::cli::runSearch(invocation, terminal);
}

bool wantsJson(const korvelo::cli::Invocation& invocation) {
  using korvelo::cli::Command;
  return (invocation.command == Command::List && invocation.list.json) ||
         (invocation.command == Command::Rescue && invocation.rescue.json) ||
         (invocation.command == Command::Check && invocation.check.json);
}

// A script that asked for JSON gets JSON on failure too: the data when the command
// still gave some, else {"error": {"exit_code": N, "message": "..."}} with the line that
// told the user why.
korvelo::cli::ExitCode runForScript(const korvelo::cli::Invocation& invocation,
                                    korvelo::cli::Terminal& terminal) {
  std::ostringstream data;
  const korvelo::cli::ExitCode code = run(invocation, terminal, data);
  if (code == korvelo::cli::ExitCode::Success || !data.str().empty()) {
    std::cout << data.str();
    return code;
  }
  const nlohmann::json error = {
      {"error",
       {{"exit_code", korvelo::cli::toProcessStatus(code)}, {"message", terminal.lastProblem()}}}};
  std::cout << error.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  return code;
}

korvelo::cli::ExitCode runParsed(const korvelo::cli::Invocation& invocation) {
  korvelo::cli::Terminal terminal = korvelo::cli::Terminal::forStderr(!invocation.global.quiet);
  if (const auto refused = korvelo::cli::openUdisksDrives(invocation.global, terminal))
    return *refused;
  if (wantsJson(invocation)) return runForScript(invocation, terminal);
  return run(invocation, terminal, std::cout);
}

}  // namespace

int main(int argc, char** argv) {
  const korvelo::cli::ParseResult parsed =
      korvelo::cli::parseCommandLine(argc, argv, std::cout, std::cerr);
  const korvelo::cli::ExitCode code = std::holds_alternative<korvelo::cli::ExitCode>(parsed)
                                          ? std::get<korvelo::cli::ExitCode>(parsed)
                                          : runParsed(std::get<korvelo::cli::Invocation>(parsed));
  std::cout.flush();
  return korvelo::cli::toProcessStatus(code);
}
