// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/help_command.h"

#include <CLI/CLI.hpp>

namespace korvelo::cli {
namespace {

const CLI::App* subcommandNamed(const CLI::App& parent, const std::string& name) {
  for (const CLI::App* command : parent.get_subcommands({}))
    if (command->get_name() == name) return command;
  return nullptr;
}

}  // namespace

CLI::App* addHelpCommand(CLI::App& app, std::vector<std::string>& topic) {
  CLI::App* command =
      app.add_subcommand("help", "Hilfe zeigen: zum ganzen Programm oder zu einem Befehl");
  command->add_option("BEFEHL", topic, "Der Befehl, etwa \"export\" oder \"rescue export\"")
      ->type_name("BEFEHL");
  return command;
}

std::optional<std::string> helpFor(const CLI::App& app, const std::vector<std::string>& topic) {
  // Straight to the formatter: App::help would hand over to the chosen command, help.
  if (topic.empty())
    return app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::All);
  const CLI::App* command = &app;
  std::string prefix;
  for (const std::string& word : topic) {
    prefix += prefix.empty() ? command->get_name() : " " + command->get_name();
    command = subcommandNamed(*command, word);
    if (command == nullptr) return std::nullopt;
  }
  return command->help(prefix);
}

}  // namespace korvelo::cli
