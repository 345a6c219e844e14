// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/manifest_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>

#include "app/manifest.h"
#include "disk/target_folder.h"

namespace korvelo {

namespace {

bool stillRuns(pid_t pid) {
  // EPERM: it runs, under another user.
  return ::kill(pid, 0) == 0 || errno != ESRCH;
}

struct FolderListing {
  void operator()(DIR* listing) const { ::closedir(listing); }
};

}  // namespace

int ManifestLock::take(const TargetFolder& folder) {
  // Should someone remove the lock file while another run holds it, the lock granted on
  // it is given up and taken on the file now at its name.
  for (;;) {
    const int flags = O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (const int error = file_.openAt(folder.descriptor(), kManifestLockName, flags, 0644);
        error != 0)
      return error;
    struct stat held {};
    if (::fstat(file_.get(), &held) != 0) return errno;
    if (!S_ISREG(held.st_mode)) {
      file_.close();
      return ENOTSUP;
    }
    int locked;
    do {
      locked = ::flock(file_.get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) return 0;
    struct stat current {};
    if (folder.statOf(kManifestLockName, current) == 0 && current.st_dev == held.st_dev &&
        current.st_ino == held.st_ino)
      return 0;
  }
}

void removeLeftoverTemporaries(const TargetFolder& folder) {
  // A listing of its own: readdir moves the position of the descriptor it is given.
  const int listed = ::openat(folder.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listed < 0) return;
  const std::unique_ptr<DIR, FolderListing> listing(::fdopendir(listed));
  if (!listing) {
    ::close(listed);
    return;
  }
  while (const dirent* item = ::readdir(listing.get())) {
    const std::optional<pid_t> owner = temporaryOwner(kManifestName, item->d_name);
    if (owner && !stillRuns(*owner)) ::unlinkat(folder.descriptor(), item->d_name, 0);
  }
}

}  // namespace korvelo
