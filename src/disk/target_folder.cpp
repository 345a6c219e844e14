// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/target_folder.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace korvelo {

int TargetFolder::open(const std::string& path) {
  path_ = path;
  return folder_.open(path.empty() ? "." : path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

std::string TargetFolder::pathOf(const std::string& name) const {
  if (path_.empty()) return name;
  return path_.back() == '/' ? path_ + name : path_ + "/" + name;
}

std::string TargetFolder::readPathOf(const std::string& name) const {
  return "/proc/self/fd/" + std::to_string(folder_.get()) + "/" + name;
}

bool TargetFolder::isAtItsPath() const {
  struct stat held {};
  struct stat named {};
  return ::fstat(folder_.get(), &held) == 0 &&
         ::stat(path_.empty() ? "." : path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

bool TargetFolder::isRemoved() const {
  struct stat held {};
  return ::fstat(folder_.get(), &held) == 0 && held.st_nlink == 0;
}

std::optional<std::string> TargetFolder::pathNow() const {
  if (isRemoved()) return std::nullopt;
  const std::string link = "/proc/self/fd/" + std::to_string(folder_.get());
  std::vector<char> target(PATH_MAX);
  const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<size_t>(length) >= target.size() || target[0] != '/')
    return std::nullopt;
  // The name may have changed again since the system looked it up: only a path that
  // leads to this folder is given.
  const std::string path(target.data(), static_cast<size_t>(length));
  struct stat held {};
  struct stat named {};
  if (::fstat(folder_.get(), &held) != 0 || ::stat(path.c_str(), &named) != 0 ||
      held.st_dev != named.st_dev || held.st_ino != named.st_ino)
    return std::nullopt;
  return path;
}

int TargetFolder::openOnlyName(PosixFile& file, const std::string& name, bool create,
                               bool mustBeNew, struct stat& info) const {
  // Never O_TRUNC: a file that is then refused must keep its bytes.
  const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                    (create ? O_CREAT : 0) | (create && mustBeNew ? O_EXCL : 0);
  if (const int error = file.openAt(folder_.get(), name, flags); error != 0) return error;
  int error = ::fstat(file.get(), &info) == 0 ? 0 : errno;
  if (error == 0 && !S_ISREG(info.st_mode)) error = ENOTSUP;
  if (error == 0 && info.st_nlink > 1) error = EMLINK;
  if (error == 0 && ::fcntl(file.get(), F_SETFL, 0) != 0) error = errno;  // blocking again
  if (error != 0) file.close();
  return error;
}

int TargetFolder::statOf(const std::string& name, struct stat& info) const {
  return ::fstatat(folder_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

TargetFolder TargetFolder::duplicate() const {
  TargetFolder copy;
  copy.folder_ = PosixFile(folder_.isOpen() ? ::fcntl(folder_.get(), F_DUPFD_CLOEXEC, 0) : -1);
  copy.path_ = path_;
  return copy;
}

int TargetFolder::atomicReplace(const std::string& name, std::string_view bytes) const {
  return atomicReplaceAt(folder_.get(), name, bytes);
}

int TargetFolder::renameNoReplace(const std::string& from, const std::string& to) const {
  const int folder = folder_.get();
  return ::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
}

}  // namespace korvelo
