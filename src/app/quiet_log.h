// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a quiet run still shows of the log: warnings, errors, refusals and skips, the
// damage summaries (one line per recording for its unreadable HOJINs, not one per HOJIN)
// and the run's final summary. Everything else (the search, the steps
// of saving, the read rates) is left out.

#include <string_view>

namespace korvelo {

// Whether one log line (without its line end) is shown in a quiet run.
bool showsWhenQuiet(std::string_view line);

}  // namespace korvelo
