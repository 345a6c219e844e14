// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recording list as one JSON object, for scripts.

#include <string>

#include "recfs/fsr5000_disk.h"

namespace korvelo::cli {

// {"schema": 1, "file_fat_size": F, "announced": n, "recordings": [{"entry", "title",
// "second_text", "size_bytes", "hojins", "duration_ms", "start", "start_iso", "weekday",
// "slot_sector"}, ...]} in list order; texts made printable and UTF-8, "start" as "YYYY-MM-DD
// HH:MM".
std::string recordingsJson(Fsr5000Disk& disk);

}  // namespace korvelo::cli
