// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one line that closes a run of saves, for the log of either front end:
//   "5 Aufnahmen gespeichert, 0 beschädigt, 0 übersprungen, 4,6 GB in 0:42"
// with ", 1 abgebrochen" and ", 1 fehlgeschlagen" before the size when a recording was
// stopped or failed otherwise.

#include <cstdint>
#include <string>
#include <vector>

#include "app/export_workflow.h"

namespace korvelo {

// Saved: complete files (also those a resume found complete) whose folder was not removed
// since (those count as failed). Damaged: files written
// with zero-filled sectors or wrong HOJIN heads. Skipped: targets that existed and were
// left alone (or whose save-as question was cancelled). Failed: the rest. The size is what
// this run wrote into the files, whatever became of them (a continued file's kept part not
// counted), in SI units (1 GB = 10^9 bytes) with a decimal comma; the time is m:ss, from one
// hour on h:mm:ss.
std::string exportSummary(const std::vector<ExportOutcome>& outcomes, int64_t elapsedMs);

// 4600000000 gives "4,6 GB", 999 gives "999 Bytes".
std::string siSize(uint64_t bytes);

// A span of time as "m:ss", from one hour on "h:mm:ss"; negative counts as 0.
std::string clockText(int64_t seconds);

}  // namespace korvelo
