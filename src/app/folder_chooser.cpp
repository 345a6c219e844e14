// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/folder_chooser.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "app/workflow_support.h"
#include "disk/front_end_words.h"
#include "disk/posix_file.h"
#include "disk/system_reason.h"
#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/target_checks.h"

namespace korvelo {

FolderChooser::FolderChooser(std::string folder, bool overwrite, LogSink& log)
    : folder_(std::move(folder)), overwrite_(overwrite), log_(log) {}

namespace {

// Two recordings of one title would get one name: the later one gets " (2)", " (3)" ...
// before ".hav", so that no file of this run replaces another of the same run.
std::string nextDistinct(std::set<std::string>& named, const std::string& proposed) {
  std::string name = proposed;
  const size_t dot = proposed.rfind('.');
  const std::string stem = dot == std::string::npos ? proposed : proposed.substr(0, dot);
  const std::string suffix = dot == std::string::npos ? "" : proposed.substr(dot);
  for (int n = 2; named.count(name) > 0; ++n)
    name = textf("%s (%d)%s", stem.c_str(), n, suffix.c_str());
  named.insert(name);
  return name;
}

}  // namespace

std::string FolderChooser::distinctName(const std::string& proposed) {
  return nextDistinct(named_, proposed);
}

std::vector<std::string> FolderChooser::distinctNames(const std::vector<std::string>& proposed) {
  std::set<std::string> named;
  std::vector<std::string> names;
  for (const std::string& name : proposed) names.push_back(nextDistinct(named, name));
  return names;
}

namespace {

// Why an existing file may never be a target, whatever the options say; empty when it may.
std::string neverATarget(const std::string& path, const struct stat& existing,
                         const std::optional<FileIdentity>& source) {
  // A link is never written through, not even with --force: the program often runs as
  // root, and whoever placed the link would choose what is overwritten. A second name of
  // the file (a hard link) would lead the writing to wherever that name lies.
  if (S_ISLNK(existing.st_mode)) return symbolicLinkRefusal(path);
  const FileIdentity identity{existing.st_dev, existing.st_ino};
  if (source && *source == identity) return sourceTargetRefusal(path);
  if (const RunInput input = inputOfRun(identity, nullptr); input != RunInput::None)
    return inputRefusal(path, input);
  if (!S_ISREG(existing.st_mode))
    return textf("Zieldatei \"%s\" ist keine gewöhnliche Datei; überspringe.", path.c_str());
  if (existing.st_nlink > 1) return hardLinkRefusal(path);
  return {};
}

// Tries that the search for a free name makes before it gives up.
constexpr int kNameTries = 10000;

}  // namespace

// The folder a run saves into is opened at its first target; a folder moved away or
// replaced (by a link to another one, say) meanwhile keeps getting the files, under its
// new name, so that nothing of the run lands where the user did not send it.
bool FolderChooser::openFolder() {
  if (opened_) return true;
  auto folder = std::make_shared<TargetFolder>();
  if (const int error = folder->open(folder_); error != 0) {
    log_.append(textf("Zielordner \"%s\": %s.", folder_.c_str(), systemReason(error).c_str()),
                Severity::Error);
    return false;
  }
  opened_ = std::move(folder);
  return true;
}

bool FolderChooser::lookUp(const std::string& name, struct stat& existing) const {
  return opened_->statOf(name, existing) == 0;
}

SaveAsAnswer FolderChooser::chooseSaveAs(const SaveAsRequest& request) {
  lastName_ = distinctName(request.proposedName);
  lastPath_ = joinPath(folder_, lastName_);
  SaveAsAnswer answer;  // skipped unless the target is free or may be replaced
  answer.kind = SaveAsAnswer::Kind::Skipped;
  if (!openFolder()) return answer;
  struct stat existing {};
  bool exists = lookUp(lastName_, existing);
  if (exists) {
    if (const std::string refusal = neverATarget(lastPath_, existing, source_); !refusal.empty()) {
      log_.append(refusal, Severity::Warning);
      return answer;
    }
    if (!resume_ && !overwrite_) {
      log_.append(textf("Zieldatei \"%s\" existiert bereits; überspringe (%s).", lastPath_.c_str(),
                        nextStepWords().overwriteSkipped),
                  Severity::Warning);
      return answer;
    }
    // --force replaces this recording's own file, or one that is no recording at all;
    // another recording's file keeps its place and this one takes the next free name.
    if (overwrite_ && !request.expectedFront.empty() &&
        ownerOfExisting(opened_->readPathOf(lastName_), request.expectedFront) ==
            TargetOwner::OtherRecording) {
      const std::string kept = lastPath_;
      if (!takeFreeOrOwnName(request, existing, exists)) {
        log_.append(textf("Für \"%s\" findet sich kein freier Name; überspringe.", kept.c_str()),
                    Severity::Warning);
        return answer;
      }
      log_.append(otherRecordingKeptLine(kept, lastPath_), Severity::Warning);
    }
    if (exists && resume_) {
      answer.resume = true;
      answer.replaceForeign = overwrite_;
    }
  }
  answer.kind = SaveAsAnswer::Kind::Chosen;
  answer.path = lastPath_;
  answer.mustBeNew = !exists;
  answer.folder = opened_;
  return answer;
}

// The next of this run's names for the title that is free or holds this recording's own
// file (which may then be replaced or continued).
bool FolderChooser::takeFreeOrOwnName(const SaveAsRequest& request, struct stat& existing,
                                      bool& exists) {
  for (int tries = 0; tries < kNameTries; ++tries) {
    lastName_ = distinctName(request.proposedName);
    lastPath_ = joinPath(folder_, lastName_);
    exists = lookUp(lastName_, existing);
    if (!exists) return true;
    if (neverATarget(lastPath_, existing, source_).empty() &&
        ownerOfExisting(opened_->readPathOf(lastName_), request.expectedFront) ==
            TargetOwner::ThisRecording)
      return true;
  }
  return false;
}

std::string ensureFolder(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return {};
  if (std::filesystem::exists(folder, error)) return "ist kein Ordner";
  if (std::filesystem::create_directories(folder, error)) return {};
  return error ? systemReason(error.value()) : std::string("unbekannter Fehler");
}

std::string targetFolderProblem(const std::string& folder) {
  const std::string problem = ensureFolder(folder);
  if (problem.empty()) return {};
  return textf("Zielordner \"%s\": %s.", folder.c_str(), problem.c_str());
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace korvelo
