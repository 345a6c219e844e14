// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/saved_place.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <utility>

#include "app/log.h"
#include "disk/target_folder.h"
#include "disk/text.h"

namespace korvelo {

namespace {

FolderFate fateOf(const TargetFolder& folder) {
  if (folder.isRemoved()) return FolderFate::Removed;
  return folder.isAtItsPath() ? FolderFate::InPlace : FolderFate::Moved;
}

std::string shownPath(const TargetFolder& folder) {
  return folder.path().empty() ? std::string(".") : folder.path();
}

}  // namespace

SavedPlace savedPlaceOf(const ExportOutcome& outcome) {
  if (!outcome.folder) return {FolderFate::InPlace, outcome.path};
  const FolderFate fate = fateOf(*outcome.folder);
  if (fate == FolderFate::InPlace) return {fate, outcome.path};
  if (fate == FolderFate::Removed) return {fate, {}};
  const std::optional<std::string> now = outcome.folder->pathNow();
  const std::string name = std::filesystem::path(outcome.path).filename().string();
  return {fate, now ? *now + "/" + name : std::string()};
}

bool isSavedNow(const ExportOutcome& outcome) {
  return outcome.complete() && !(outcome.folder && outcome.folder->isRemoved());
}

void logFolderFates(const std::vector<ExportOutcome>& outcomes, Log& log) {
  // Jobs may hold handles of their own to the same folder: one line per folder.
  std::map<std::pair<dev_t, ino_t>, std::vector<const ExportOutcome*>> byFolder;
  for (const ExportOutcome& outcome : outcomes) {
    struct stat info {};
    if (outcome.complete() && outcome.folder && ::fstat(outcome.folder->descriptor(), &info) == 0)
      byFolder[{info.st_dev, info.st_ino}].push_back(&outcome);
  }
  for (const auto& [identity, saved] : byFolder) {
    const TargetFolder& folder = *saved.front()->folder;
    const FolderFate fate = fateOf(folder);
    const int count = static_cast<int>(saved.size());
    if (fate == FolderFate::Removed) {
      log.append(textf("Der Zielordner \"%s\" wurde während des Speicherns gelöscht; %d %s "
                       "darin %s nicht gespeichert. Bitte erneut speichern.",
                       shownPath(folder).c_str(), count, count == 1 ? "Datei" : "Dateien",
                       count == 1 ? "ist" : "sind"),
                 Severity::Error);
    } else if (fate == FolderFate::Moved) {
      const std::optional<std::string> now = folder.pathNow();
      log.append(now ? textf("Der Zielordner \"%s\" wurde während des Speicherns verschoben; "
                             "die Dateien liegen jetzt in \"%s\".",
                             shownPath(folder).c_str(), now->c_str())
                     : textf("Der Zielordner \"%s\" wurde während des Speicherns verschoben; "
                             "wohin, lässt sich nicht feststellen.",
                             shownPath(folder).c_str()),
                 Severity::Warning);
    }
  }
}

}  // namespace korvelo
