// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exports into one folder take turns at its manifest through a lock on
// ".korvelo-manifest.lock" beside it, a file that is never replaced nor removed. A lock on
// the manifest itself moved with every new manifest renamed into its place: a run that
// opened the new one before the other had removed its journal appended its record to that
// journal, and the record went with it. The lock is held from reading the manifest to the
// journal's removal.

#include <string>

#include "disk/posix_file.h"

namespace korvelo {

class TargetFolder;

inline constexpr const char* kManifestLockName = ".korvelo-manifest.lock";

class ManifestLock {
 public:
  // Waits until no other process holds the folder's lock and holds it until destroyed
  // (the lock file is made when missing). Where the file system has no locks, 0 holding
  // nothing: the manifest is then written without, as before. 0 or errno (ELOOP for a
  // symbolic link in its place, ENOTSUP for anything but a regular file).
  int take(const TargetFolder& folder);

 private:
  PosixFile file_;
};

// Removes the temporaries of the manifest that runs killed before their rename left in the
// folder (".korvelo-manifest.json.<pid>.tmp" of a process that no longer runs). The caller
// holds the lock, so no running export is about to rename one of them.
void removeLeftoverTemporaries(const TargetFolder& folder);

}  // namespace korvelo
