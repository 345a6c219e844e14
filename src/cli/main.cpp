// korvelo-cli: parses the command line, runs one command, maps its ExitCode.

#include <iostream>

#include "cli/cli_options.h"
#include "cli/commands.h"

namespace {

korvelo::cli::ExitCode run(const korvelo::cli::Invocation& invocation) {
  using korvelo::cli::Command;
  korvelo::cli::Terminal terminal = korvelo::cli::Terminal::forStderr(!invocation.global.quiet);
  switch (invocation.command) {
    case Command::List:
      return korvelo::cli::runList(invocation, terminal, std::cout);
    case Command::Export:
      return korvelo::cli::runExport(invocation, terminal, std::cout);
    case Command::Domain:
      return korvelo::cli::runDomain(invocation, terminal, std::cout);
    case Command::MetadataImage:
      return korvelo::cli::runMetadataImage(invocation, terminal, std::cout);
    case Command::Verify:
      return korvelo::cli::runVerify(invocation, terminal, std::cout);
    case Command::Rescue:
      return korvelo::cli::runRescue(invocation, terminal, std::cout);
    case Command::Check:
      return korvelo::cli::runCheck(invocation, terminal, std::cout);
    case Command::Map:
      return korvelo::cli::runMap(invocation, terminal, std::cout);
    case Command::Drives:
      return korvelo::cli::runDrives(invocation, terminal, std::cout);
    case Command::Search:
      break;
  }
  return korvelo::cli::runSearch(invocation, terminal);
}

}  // namespace

int main(int argc, char** argv) {
  const korvelo::cli::ParseResult parsed =
      korvelo::cli::parseCommandLine(argc, argv, std::cout, std::cerr);
  const korvelo::cli::ExitCode code = std::holds_alternative<korvelo::cli::ExitCode>(parsed)
                                          ? std::get<korvelo::cli::ExitCode>(parsed)
                                          : run(std::get<korvelo::cli::Invocation>(parsed));
  std::cout.flush();
  return korvelo::cli::toProcessStatus(code);
}
