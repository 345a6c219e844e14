// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/target_checks.h"

#include <sys/stat.h>

#include "disk/posix_file.h"
#include "disk/text.h"

namespace korvelo {

bool isSourceTarget(const std::string& path, const std::optional<FileIdentity>& source) {
  struct stat info {};
  if (!source || ::stat(path.c_str(), &info) != 0) return false;
  return FileIdentity{info.st_dev, info.st_ino} == *source;
}

std::string sourceTargetRefusal(const std::string& path) {
  return textf("\"%s\" ist die Festplatte, von der gelesen wird.", path.c_str());
}

std::string chosenTwiceRefusal(const std::string& path) {
  return textf("\"%s\" wird in diesem Lauf schon geschrieben.", path.c_str());
}

std::string RunTargets::refusal(const std::string& path,
                                const std::optional<FileIdentity>& source) const {
  if (chosen_.count(path) > 0) return chosenTwiceRefusal(path);
  if (isSymbolicLink(path)) return symbolicLinkRefusal(path);
  if (isSourceTarget(path, source)) return sourceTargetRefusal(path);
  return {};
}

}  // namespace korvelo
