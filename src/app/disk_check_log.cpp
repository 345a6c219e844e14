// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/disk_check_log.h"

#include "disk/text.h"

namespace korvelo {

std::string checkOverview(const CheckReport& report) {
  const BlockOwnership& ownership = report.ownership;
  return textf(
      "Datenbereich ab Sektor %lld: %s Blöcke, davon %s frei und %s mehrfach belegt; "
      "%zu Aufnahmen, %s HOJIN-Köpfe gelesen.",
      static_cast<long long>(ownership.dataAreaStart()),
      formatThousands(ownership.blockCount(), '.').c_str(),
      formatThousands(ownership.freeBlocks(), '.').c_str(),
      formatThousands(ownership.sharedBlockCount(), '.').c_str(), ownership.recordings().size(),
      formatThousands(report.headsChecked, '.').c_str());
}

bool checkDiskIntoLog(Fsr5000Disk* disk, Log& log, const CheckOptions& options) {
  if (disk == nullptr || !disk->isDirectoryRead()) {
    log.append("Keine Recorder-Festplatte geöffnet: es gibt nichts zu prüfen.", Severity::Error);
    return false;
  }
  log.append("Prüfe das Dateisystem der Festplatte ...");
  const CheckReport report = checkFileSystem(*disk, options);
  for (const CheckFinding& finding : report.findings)
    log.append("  " + finding.text, Severity::Warning);
  if (!report.interrupted) log.append(checkOverview(report));
  log.append(checkSummary(report), Severity::Summary);
  return report.sound();
}

}  // namespace korvelo
