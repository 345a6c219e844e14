// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the files of a run lie once it is over. The target folder may have been moved or
// removed meanwhile: the files went on into the folder that was opened (target_folder.h),
// so its descriptor knows where they are now, and a removed folder took them with it.

#include <string>
#include <vector>

#include "app/export_workflow.h"

namespace korvelo {

class Log;

enum class FolderFate { InPlace, Moved, Removed };

struct SavedPlace {
  FolderFate fate = FolderFate::InPlace;
  std::string path;  // where the file is now; empty when that cannot be told or it is gone
};

// Where the file of an outcome is now (its chosen path while the folder stayed).
SavedPlace savedPlaceOf(const ExportOutcome& outcome);

// Complete, and its folder was not removed since: the file is there to be used.
bool isSavedNow(const ExportOutcome& outcome);

// Logs one German line for each folder of the outcomes' complete files that is no longer
// at its path: where it is now, or that it was removed with the files in it.
void logFolderFates(const std::vector<ExportOutcome>& outcomes, Log& log);

}  // namespace korvelo
