// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/folder_chooser.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "app/workflow_support.h"
#include "disk/posix_file.h"
#include "disk/system_reason.h"
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

SaveAsAnswer FolderChooser::chooseSaveAs(const SaveAsRequest& request) {
  lastPath_ = joinPath(folder_, distinctName(request.proposedName));
  SaveAsAnswer answer;  // skipped unless the target is free or may be replaced
  answer.kind = SaveAsAnswer::Kind::Skipped;
  struct stat existing {};
  // A link is never written through, not even with --force: the program often runs as
  // root, and whoever placed the link would choose what is overwritten.
  const bool exists = ::lstat(lastPath_.c_str(), &existing) == 0;
  if (exists && S_ISLNK(existing.st_mode)) {
    log_.append(symbolicLinkRefusal(lastPath_), Severity::Warning);
    return answer;
  }
  if (exists) {
    const FileIdentity identity{existing.st_dev, existing.st_ino};
    if (source_ && *source_ == identity) {
      log_.append(sourceTargetRefusal(lastPath_), Severity::Warning);
      return answer;
    }
    if (const RunInput input = inputOfRun(identity, nullptr); input != RunInput::None) {
      log_.append(inputRefusal(lastPath_, input), Severity::Warning);
      return answer;
    }
    if (!S_ISREG(existing.st_mode)) {
      log_.append(
          textf("Zieldatei \"%s\" ist keine gewöhnliche Datei; überspringe.", lastPath_.c_str()),
          Severity::Warning);
      return answer;
    }
    if (resume_) {
      answer.resume = true;
      answer.replaceForeign = overwrite_;
    } else if (!overwrite_) {
      log_.append(
          textf("Zieldatei \"%s\" existiert bereits; überspringe (mit --force überschreiben).",
                lastPath_.c_str()),
          Severity::Warning);
      return answer;
    }
  }
  answer.kind = SaveAsAnswer::Kind::Chosen;
  answer.path = lastPath_;
  answer.mustBeNew = !exists;
  return answer;
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
