// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "export/log_sink.h"
#include "recfs/directory_entry.h"

namespace korvelo {

// Gives the file at `path` the recording's start as its last-write and last-access
// time (local wall-clock time, second 0) and reports the outcome in the log.
// The file must be closed already, so that nothing changes its times afterwards. A symbolic
// link or anything but a regular file at `path` is not given the date (a failure).
void setFileDate(const DirectoryEntry& entry, const std::string& path, LogSink& log);

}  // namespace korvelo
