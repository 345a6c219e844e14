// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/open_failure.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disk/system_reason.h"
#include "disk/text.h"

namespace korvelo {

// Joining the device's group only helps when that group may read it and is not root's.
// Root refused (a container's device rules, a security policy) gets no advice to be root.
std::string accessHint(const std::string& path) {
  if (::geteuid() == 0) return "auch root darf es hier nicht öffnen";
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && status.st_gid != 0 && (status.st_mode & S_IRGRP)) {
    if (const group* owner = ::getgrgid(status.st_gid); owner != nullptr && owner->gr_name)
      return textf("als root starten oder der Gruppe \"%s\" beitreten", owner->gr_name);
  }
  return "als root starten";
}

std::string openFailureReason(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
      return "Datei oder Gerät gibt es nicht";
    case EACCES:
    case EPERM:
      return "keine Berechtigung (" + accessHint(path) + ")";
    case EISDIR:
      return "ist ein Ordner";
    case ENODEV:
      return "ist weder ein Laufwerk noch eine Abbilddatei";
    case ENOTDIR:
      return "ein Teil des Pfads ist kein Ordner";
    case ENXIO:
    case ENOMEDIUM:
      return "kein Medium im Laufwerk";
    case EBUSY:
      return "das Gerät ist belegt";
    case EIO:
      return "Ein-/Ausgabefehler";
    default:
      return systemReason(error);
  }
}

std::string openFailureLine(char designator, const std::string& path, int error) {
  return textf(" Festplatte %c \"%s\" lässt sich nicht öffnen: %s.", designator, path.c_str(),
               openFailureReason(path, error).c_str());
}

}  // namespace korvelo
