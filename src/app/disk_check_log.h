// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file-system check as the window runs it: its findings written to the log.

#include "app/log.h"
#include "recfs/file_system_check.h"

namespace korvelo {

// Checks the disk (when there is one with its directory read) and appends a heading, one
// line per finding, the overview and the summary to the log. Sound: no findings. A check
// stopped through the options logs the findings up to there and says it was stopped.
bool checkDiskIntoLog(Fsr5000Disk* disk, Log& log, const CheckOptions& options = {});

// "Datenbereich ab Sektor ...: ... Blöcke, davon ... frei ...", shared with the command line.
std::string checkOverview(const CheckReport& report);

}  // namespace korvelo
