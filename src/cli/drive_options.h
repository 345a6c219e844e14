// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "--drive PATH" and "--mapfile MAP": a mapfile belongs to the --drive given right
// before it, so that several images, each with its own mapfile, can be read at once.

#include <string>

#include "cli/cli_options.h"

namespace CLI {
class App;
}

namespace korvelo::cli {

// Registers --mapfile; its values are collected in global.mapfiles in the order given.
void addMapfileOption(CLI::App& app, GlobalOptions& global);

// After parsing: turns global.mapfiles into one entry per drive (empty: none), by the
// order in which --drive and --mapfile stood. Empty when that worked, else the fault.
std::string assignMapfilesToDrives(const CLI::App& app, GlobalOptions& global);

// Empty when every given mapfile can be read and is well formed, else the first fault
// as "Fehler in der Mapdatei ...".
std::string firstMapfileProblem(const GlobalOptions& global);

}  // namespace korvelo::cli
