// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Answers the save-as question without a dialog: the target is the output folder plus
// the proposed name. An existing file is only replaced when the user said --force,
// and the source drive itself is never a target. The folder is opened once, at the
// first question; every answer names a file in that folder, and hands the folder on, so
// that whatever happens to the folder's path meanwhile, all files of the run and their
// manifest go into the folder the run began with.

#include <sys/stat.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "disk/byte_source.h"
#include "export/log_sink.h"
#include "export/save_as_chooser.h"

namespace korvelo {

class FolderChooser : public SaveAsChooser {
 public:
  FolderChooser(std::string folder, bool overwrite, LogSink& log);

  // An existing target is offered for continuing (replaced when it is not the
  // recording's only if overwriting was allowed).
  void resumeExisting(bool resume) { resume_ = resume; }

  // The file behind the recorder drive; a target that is this file is refused.
  void protectSource(std::optional<FileIdentity> source) { source_ = source; }

  SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) override;

  // The path of the last answer (chosen or refused); empty before the first question.
  const std::string& lastPath() const { return lastPath_; }

  // The names a run gives these proposed names, in this order (" (2)" for a second title),
  // so that a front end can see beforehand which targets exist.
  static std::vector<std::string> distinctNames(const std::vector<std::string>& proposed);

 private:
  std::string distinctName(const std::string& proposed);
  bool takeFreeOrOwnName(const SaveAsRequest& request, struct stat& existing, bool& exists);
  bool openFolder();
  bool lookUp(const std::string& name, struct stat& existing) const;

  std::string folder_;
  bool overwrite_;
  bool resume_ = false;
  LogSink& log_;
  std::optional<FileIdentity> source_;
  std::string lastPath_;
  std::string lastName_;                        // the last answer's file name in the folder
  std::set<std::string> named_;                 // names given in this run
  std::shared_ptr<const TargetFolder> opened_;  // the folder, from the first question on
};

// folder + "/" + name, without doubling a trailing slash of the folder.
std::string joinPath(const std::string& folder, const std::string& name);

// An empty string when the folder exists or could be made (with its parents), else the reason.
std::string ensureFolder(const std::string& folder);
// Empty when the target folder exists or was made; else the log line
// "Zielordner "…": <reason>.".
std::string targetFolderProblem(const std::string& folder);

}  // namespace korvelo
