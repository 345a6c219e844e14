// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder a run writes into, opened once: every file of the run is created, reopened,
// looked at and replaced by its name relative to this descriptor. A folder renamed or
// swapped for a symbolic link while the run goes on then changes nothing: the remaining
// files and the manifest go on into the folder that was opened, under whatever name it
// has now, and never into a folder someone put in its place.

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "disk/posix_file.h"

namespace korvelo {

class TargetFolder {
 public:
  TargetFolder() = default;
  TargetFolder(TargetFolder&&) noexcept = default;
  TargetFolder& operator=(TargetFolder&&) noexcept = default;

  // Opens the folder at `path` (the working directory for an empty one). A symbolic link
  // the user named as the folder is followed once, here, as every path given to the
  // program is; from then on only the folder found counts. 0 or errno (ENOTDIR for
  // anything but a folder).
  int open(const std::string& path);
  bool isOpen() const { return folder_.isOpen(); }
  // Another handle of the same folder, for work after this one is gone (closed, not open,
  // when the descriptor cannot be duplicated).
  TargetFolder duplicate() const;
  int descriptor() const { return folder_.get(); }
  // The path it was opened by, for messages; no file is ever looked up through it.
  const std::string& path() const { return path_; }
  // The path of `name` in it, for messages.
  std::string pathOf(const std::string& name) const;
  // A path that reaches `name` in this folder through the descriptor, for readers that
  // take a path (streams, the check sums): wherever the folder's own path leads by now,
  // they read the file that is being written.
  std::string readPathOf(const std::string& name) const;
  // Whether path() still leads to this folder (a symbolic link in it followed, as when it
  // was opened).
  bool isAtItsPath() const;
  // Whether the folder was removed: the files in it are gone with it.
  bool isRemoved() const;
  // Where the folder is now, as the system names it through the descriptor (an absolute
  // path); nothing when it was removed or the system cannot tell.
  std::optional<std::string> pathNow() const;

  // Opens `name` for writing, never through a symbolic link (ELOOP) nor waiting for a
  // device or a pipe: created when `create` (new only, EEXIST otherwise, when
  // `mustBeNew`), else it must be there. Before anything of it changes it must be a
  // regular file (ENOTSUP) with this one name (EMLINK): writing a file with more names
  // would change it under its other names too, which may lie outside the folder. The
  // file stays as it was; `info` is its status. 0 or errno, nothing held on a refusal.
  int openOnlyName(PosixFile& file, const std::string& name, bool create, bool mustBeNew,
                   struct stat& info) const;
  // The status of what is at `name`, a symbolic link itself rather than where it leads.
  // 0 or errno.
  int statOf(const std::string& name, struct stat& info) const;
  // atomicReplace (posix_file.h) for `name` in this folder.
  int atomicReplace(const std::string& name, std::string_view bytes) const;
  // Renames `from` to `to` in this folder unless something is at `to` (EEXIST). 0 or errno.
  int renameNoReplace(const std::string& from, const std::string& to) const;

 private:
  PosixFile folder_;
  std::string path_;
};

}  // namespace korvelo
