// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/export_result.h"

#include "disk/text.h"
#include "export/hav_export_job.h"

namespace korvelo {

namespace {

std::string errorReason(const ExportResult& result) {
  switch (result.errorCode) {
    case HavExportJob::kNotCreated:
      return "die Zieldatei ließ sich nicht anlegen oder nicht fortsetzen";
    case HavExportJob::kHeadNotWritten:
      return "der Kopf der Datei ließ sich nicht schreiben";
    case HavExportJob::kDataNotWritten:
      return "die Daten ließen sich nicht vollständig schreiben";
    case HavExportJob::kIncomplete:
      return result.targetLost ? "die Datei wurde während des Speicherns entfernt oder ersetzt"
                               : "die Kopie endete vor dem Ende der Aufnahme";
    case HavExportJob::kDriveGone:
      return "das Laufwerk antwortet nicht mehr";
    default:
      return textf("Fehler %d", result.errorCode);
  }
}

}  // namespace

std::string ExportResult::incompleteReason() const {
  if (!fileProblem.empty()) return " (" + fileProblem + ")";
  if (errorCode != 0) return " (" + errorReason(*this) + ")";
  if (stopped) return " (abgebrochen)";
  if (!doubt.empty()) return " (" + doubt + ")";
  if (const int damaged = damage.damagedHojins(); damaged > 0)
    return textf(" (%d %s mit unlesbaren Sektoren)", damaged, damaged == 1 ? "HOJIN" : "HOJINs");
  if (wrongHeadHojins > 0)
    return textf(" (%d %s mit falschem Kopf)", wrongHeadHojins,
                 wrongHeadHojins == 1 ? "HOJIN" : "HOJINs");
  if (fileBytes != expectedBytes)
    return textf(" (Datei hat %s statt %s Bytes)", formatThousands(fileBytes, '.').c_str(),
                 formatThousands(expectedBytes, '.').c_str());
  if (digests && (!digests->readable || digests->fileBytes != fileBytes))
    return " (ihre Prüfsumme ließ sich nicht nehmen)";
  return {};
}

ExportVerdict ExportResult::verdict() const {
  if (incompleteReason().empty()) return ExportVerdict::Saved;
  if (!fileProblem.empty() || targetLost) return ExportVerdict::Failed;
  if (!damage.empty() || wrongHeadHojins > 0) return ExportVerdict::Damaged;
  if (stopped) return ExportVerdict::Stopped;
  if (errorCode == 0 && !doubt.empty()) return ExportVerdict::Doubtful;
  return ExportVerdict::Failed;
}

}  // namespace korvelo
