// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Options of the commands that look at the disk's file system as a whole: the check
// and the map.

#include <string>

namespace CLI {
class App;
}

namespace korvelo::cli {

// check [--deep] [--json]
struct CheckCommandOptions {
  bool deep = false;
  bool json = false;
};

// map -o FILE.svg [--width PX] [--force]
struct MapCommandOptions {
  std::string output;
  int width = 1200;
  bool force = false;
  bool rescue = false;  // also the recordings a file-FAT scan finds outside the directory
};

CLI::App* addCheckCommand(CLI::App& app, CheckCommandOptions& options);
CLI::App* addMapCommand(CLI::App& app, MapCommandOptions& options);

}  // namespace korvelo::cli
