// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/export_summary.h"

#include "disk/text.h"

namespace korvelo {
std::string clockText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  if (seconds >= 3600)
    return textf("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                 static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return textf("%lld:%02lld", static_cast<long long>(seconds / 60),
               static_cast<long long>(seconds % 60));
}

std::string siSize(uint64_t bytes) {
  static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
  if (bytes < 1000) return textf("%llu Bytes", static_cast<unsigned long long>(bytes));
  // Rounded tenths in whole numbers: no rounding surprises at the unit's edge, and the
  // comma needs no locale. The largest unit under which the figure stays below 1000.
  uint64_t tenthOfUnit = 100;  // bytes in a tenth of a kB
  int unit = 0;
  uint64_t tenths = (bytes + tenthOfUnit / 2) / tenthOfUnit;
  while (tenths >= 10000 && unit < 3) {
    tenthOfUnit *= 1000;
    ++unit;
    tenths = (bytes + tenthOfUnit / 2) / tenthOfUnit;
  }
  return textf("%llu,%llu %s", static_cast<unsigned long long>(tenths / 10),
               static_cast<unsigned long long>(tenths % 10), kUnits[unit]);
}

std::string exportSummary(const std::vector<ExportOutcome>& outcomes, int64_t elapsedMs) {
  int saved = 0, damaged = 0, skipped = 0, stopped = 0, failed = 0, uncertain = 0;
  uint64_t bytes = 0;
  for (const ExportOutcome& outcome : outcomes) {
    if (outcome.ran) bytes += static_cast<uint64_t>(outcome.result.bytesWrittenNow());
    if (outcome.complete()) {
      ++saved;
    } else if (outcome.damaged()) {
      ++damaged;
    } else if (outcome.prepareResult == HavExportJob::kSkipped ||
               outcome.prepareResult == HavExportJob::kCancelled) {
      ++skipped;
    } else if (outcome.stopped()) {
      ++stopped;
    } else if (outcome.uncertain()) {
      ++uncertain;  // copied in full, but maybe from more than one recording
    } else {
      ++failed;
    }
  }
  std::string line = textf("%d %s gespeichert, %d beschädigt, %d übersprungen", saved,
                           saved == 1 ? "Aufnahme" : "Aufnahmen", damaged, skipped);
  if (stopped > 0) line += textf(", %d abgebrochen", stopped);
  if (uncertain > 0) line += textf(", %d unsicher", uncertain);
  if (failed > 0) line += textf(", %d fehlgeschlagen", failed);
  return line + ", " + siSize(bytes) + " in " + clockText(elapsedMs / 1000);
}

}  // namespace korvelo
