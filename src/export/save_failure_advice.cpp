// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/save_failure_advice.h"

#include "export/hav_export_job.h"

namespace korvelo {

std::string adviceAfterOpenFailure(int code) {
  switch (code) {
    case HavExportJob::kNotCreated:
      return "Grund: Die Zieldatei ließ sich nicht anlegen (keine Schreibrechte im Ordner, "
             "Ordner fehlt oder Ziel schreibgeschützt). Bitte einen Ordner wählen, in den Sie "
             "schreiben dürfen, und noch einmal speichern.";
    case HavExportJob::kHeadNotWritten:
    case HavExportJob::kDataNotWritten:
      return "Grund: Der Anfang der Zieldatei ließ sich nicht schreiben, meist weil das Ziel voll "
             "oder nicht mehr erreichbar ist. Bitte Platz schaffen oder ein anderes Ziel wählen "
             "und noch einmal speichern.";
    default:
      return {};
  }
}

std::string adviceAfterWriteFailure() {
  return "Grund: Die Zieldatei ließ sich nicht weiter schreiben, meist weil das Ziel voll oder "
         "nicht mehr erreichbar ist. Die schon geschriebenen Hojins bleiben in der Datei; bitte "
         "Platz schaffen oder ein anderes Ziel wählen und die Aufnahme noch einmal speichern.";
}

std::string adviceAfterPrepareFailure(int code) {
  switch (code) {
    case HavExportJob::kDialogFailed:
      return "Grund: Die Frage nach der Zieldatei ließ sich nicht stellen. Bitte noch einmal "
             "speichern.";
    case HavExportJob::kSizeNotSet:
    case HavExportJob::kTitleNotSet:
    case HavExportJob::kDurationNotSet:
      return "Grund: Der Verzeichniseintrag dieser Aufnahme ist unbrauchbar (Größe, Titel oder "
             "Dauer). Diese Aufnahme lässt sich so nicht speichern, die übrigen schon; eine "
             "Prüfung der Festplatte zeigt, was beschädigt ist.";
    case HavExportJob::kNameTooLong:
      return "Grund: Der Dateiname ist zu lang. Bitte einen kürzeren Namen wählen und noch "
             "einmal speichern.";
    case HavExportJob::kTooLittleSpace:
      return "Grund: Im Zielordner ist nicht genug Platz für diese Aufnahme. Bitte Platz "
             "schaffen oder einen Ordner auf einem anderen Laufwerk wählen und noch einmal "
             "speichern.";
    default:
      return {};
  }
}

}  // namespace korvelo
