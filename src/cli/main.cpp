// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-cli: parses the command line, runs one command, maps its ExitCode.

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string_view>

#include "app/json_document.h"
#include "app/manifest.h"
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/udisks_drives.h"
#include "disk/front_end_words.h"

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
         (invocation.command == Command::Check && invocation.check.json) ||
         (invocation.command == Command::Drives && invocation.drives.json);
}

// The line that told the user, without the log's indent or the program's name: the
// error document stands for the program already.
std::string messageOf(const std::string& line) {
  const size_t start = std::min(line.find_first_not_of(' '), line.size());
  const std::string_view text = std::string_view(line).substr(start);
  constexpr std::string_view prefix = "korvelo-cli: ";
  return std::string(text.starts_with(prefix) ? text.substr(prefix.size()) : text);
}

// {"schema": 1, "error": {"exit_code": N, "message": "..."}}: what a script that asked for
// JSON gets when there is nothing else to give.
void printError(korvelo::cli::ExitCode code, const std::string& line) {
  const std::string message = messageOf(line);
  const nlohmann::ordered_json error = {
      {"schema", korvelo::kJsonSchema},
      {"error", {{"exit_code", korvelo::cli::toProcessStatus(code)}, {"message", message}}}};
  std::cout << error.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

// A script that asked for JSON gets JSON on failure too: the data when the command
// still gave some, else the error with the line that told the user why.
korvelo::cli::ExitCode runForScript(const korvelo::cli::Invocation& invocation,
                                    korvelo::cli::Terminal& terminal) {
  std::ostringstream data;
  const korvelo::cli::ExitCode code = run(invocation, terminal, data);
  if (code == korvelo::cli::ExitCode::Success || !data.str().empty()) {
    std::cout << data.str();
    return code;
  }
  printError(code, terminal.lastProblem());
  return code;
}

korvelo::cli::ExitCode runParsed(const korvelo::cli::Invocation& invocation) {
  korvelo::cli::Terminal terminal = korvelo::cli::Terminal::forStderr(!invocation.global.quiet);
  // drives shows a refused disk in its row, as it does one that cannot be opened.
  const bool drives = invocation.command == korvelo::cli::Command::Drives;
  if (const auto refused = korvelo::cli::openUdisksDrives(invocation.global, terminal, drives)) {
    if (wantsJson(invocation)) printError(*refused, terminal.lastProblem());
    return *refused;
  }
  if (wantsJson(invocation)) return runForScript(invocation, terminal);
  return run(invocation, terminal, std::cout);
}

// Whether the command line asks for JSON, looked at before it is parsed: a call that
// cannot be parsed still answers a script in JSON.
bool asksForJson(int argc, char** argv) {
  return std::any_of(argv + std::min(argc, 1), argv + argc,
                     [](const char* word) { return std::string_view(word) == "--json"; });
}

// The usage error's first line, as the error's message.
std::string usageLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

korvelo::cli::ExitCode parseAndRun(int argc, char** argv) {
  const bool json = asksForJson(argc, argv);
  std::ostringstream usage;
  const korvelo::cli::ParseResult parsed =
      korvelo::cli::parseCommandLine(argc, argv, std::cout, json ? usage : std::cerr);
  if (std::holds_alternative<korvelo::cli::Invocation>(parsed))
    return runParsed(std::get<korvelo::cli::Invocation>(parsed));
  const korvelo::cli::ExitCode code = std::get<korvelo::cli::ExitCode>(parsed);
  std::cerr << usage.str();
  if (json && code != korvelo::cli::ExitCode::Success) printError(code, usageLine(usage.str()));
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  korvelo::setManifestProgram(korvelo::cli::kProgramName);
  korvelo::speakAs(korvelo::FrontEnd::CommandLine);
  const korvelo::cli::ExitCode code = parseAndRun(argc, argv);
  std::cout.flush();
  return korvelo::cli::toProcessStatus(code);
}
