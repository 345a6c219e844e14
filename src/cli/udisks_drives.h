// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "--drive udisks:/dev/sdb": the disk is opened for reading by udisks2 instead of by the
// program itself, so that a user who may not read the device gets it after polkit's
// question (in a terminal through polkit's text agent). Each such drive is asked for once,
// before the command runs; the descriptor then stands for the path like an opened device.

#include <optional>
#include <string>
#include <string_view>

#include "cli/cli_options.h"
#include "cli/exit_code.h"
#include "cli/terminal.h"
#include "disk/drive_table.h"

namespace korvelo::cli {

inline constexpr std::string_view kUdisksPrefix = "udisks:";

// Asks udisks2 for every --drive that begins with "udisks:". The granted disks are
// logged; the first refusal is logged with its reason and ends the run with its code,
// unless `pastRefusals`: then each refusal is logged and kept for udisksRefusal.
std::optional<ExitCode> openUdisksDrives(const GlobalOptions& global, Terminal& terminal,
                                         bool pastRefusals = false);

// Why udisks2 did not open the drive of a --drive value "udisks:PATH"; nothing for a
// granted one, one not asked for, or a plain path.
std::optional<std::string> udisksRefusal(const std::string& value);

// The drive a --drive value stands for: the path, or the disk granted for "udisks:PATH"
// (a drive that was not granted keeps the bare path and fails to open as that would).
DriveSpec driveSpecOf(const std::string& value, const std::string& mapfile);

}  // namespace korvelo::cli
