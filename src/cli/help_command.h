// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// help [BEFEHL ...]: the help of the whole program, of one command or of a command's
// own command ("help rescue export"), as --help shows it, with exit code 0.

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace korvelo::cli {

CLI::App* addHelpCommand(CLI::App& app, std::vector<std::string>& topic);

// The help text for the topic (empty topic: the whole program); nothing when the topic
// names no command.
std::optional<std::string> helpFor(const CLI::App& app, const std::vector<std::string>& topic);

}  // namespace korvelo::cli
