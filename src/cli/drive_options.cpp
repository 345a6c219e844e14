// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/drive_options.h"

#include <CLI/CLI.hpp>

#include "disk/mapfile_source.h"

namespace korvelo::cli {

void addMapfileOption(CLI::App& app, GlobalOptions& global) {
  app.add_option("--mapfile", global.mapfiles,
                 "Mapdatei von GNU ddrescue zum vorher genannten --drive-Abbild; nur als "
                 "gerettet (\"+\") markierte Bereiche gelten als lesbar, alle anderen als "
                 "defekte Sektoren")
      ->type_name("MAPDATEI")
      ->allow_extra_args(false);
}

std::string assignMapfilesToDrives(const CLI::App& app, GlobalOptions& global) {
  const CLI::Option* drive = app.get_option_no_throw("--drive");
  const CLI::Option* mapfile = app.get_option_no_throw("--mapfile");
  std::vector<std::string> perDrive(global.drives.size());
  size_t drivesSeen = 0;
  size_t mapfilesSeen = 0;
  for (const CLI::Option* option : app.parse_order()) {
    if (option == drive) {
      ++drivesSeen;
    } else if (option == mapfile && mapfilesSeen < global.mapfiles.size()) {
      const std::string& path = global.mapfiles[mapfilesSeen++];
      if (drivesSeen == 0 || drivesSeen > perDrive.size())
        return "--mapfile \"" + path + "\" muss hinter dem --drive stehen, zu dem sie gehört.";
      std::string& slot = perDrive[drivesSeen - 1];
      if (!slot.empty())
        return "Zu --drive \"" + global.drives[drivesSeen - 1] + "\" gibt es zwei Mapdateien.";
      slot = path;
    }
  }
  global.mapfiles = std::move(perDrive);
  return {};
}

std::string firstMapfileProblem(const GlobalOptions& global) {
  for (const std::string& path : global.mapfiles) {
    if (path.empty()) continue;
    if (const auto problem = checkMapfile(path)) return describeMapfileProblem(path, *problem);
  }
  return {};
}

}  // namespace korvelo::cli
