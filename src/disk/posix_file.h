// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// All raw file I/O of the program in one place: a move-only owner of one POSIX file
// descriptor with the transfers spelled out (interruptions repeated, short reads and
// partial writes handled), and the two ways a small file is written whole: new
// (refusing anything already there) or replacing (a temporary beside it, synced and
// renamed over it). Nothing here follows a symbolic link in the last part of a path it
// creates or replaces: the program often runs as root, and a link planted in a target
// folder must not lead its writing anywhere else.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvelo {

class PosixFile {
 public:
  PosixFile() = default;
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile();  // closes without reporting
  PosixFile(PosixFile&& other) noexcept;
  PosixFile& operator=(PosixFile&& other) noexcept;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  // open(2), repeated while a signal interrupts it; a file held before is closed first.
  // 0 or errno.
  int open(const std::string& path, int flags, mode_t mode = 0666);
  // The same with openat(2): `name` taken relative to the open folder `folder`
  // (AT_FDCWD: the working directory).
  int openAt(int folder, const std::string& name, int flags, mode_t mode = 0666);
  // Opens a regular file for writing from its start: created new (O_EXCL) when
  // `mustBeNew`, else created or emptied. A symbolic link gives ELOOP, anything but a
  // regular file ENOTSUP (a pipe without a reader ENXIO); neither is touched nor
  // waited for. 0 or errno.
  int createRegular(const std::string& path, bool mustBeNew);

  // Reads up to buffer.size() bytes at offset, repeating interrupted and partial reads.
  // Returns the bytes read, fewer only at the end of the file; -errno on a failure.
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) const;
  // Writes all bytes at the file position, repeating interrupted and partial writes.
  // 0 or errno (EBADF when nothing is open, EIO when the system takes nothing).
  int writeAll(std::span<const uint8_t> bytes);
  int writeAll(std::string_view text);
  // The same at a given offset, leaving the file position alone.
  int writeAllAt(int64_t offset, std::span<const uint8_t> bytes);
  // fsync(2) / fdatasync(2): 0 or errno.
  int sync();
  int syncData();
  // Closes; closed afterwards whatever close answers (it is never repeated). 0 or errno;
  // an interrupted close counts as done.
  int close();

  int get() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;  // -1: nothing held
};

// Writes `bytes` as the new file `path`, created with O_EXCL: EEXIST when anything is
// there (a symbolic link too, even a dangling one). Synced before it is closed; a file
// that could not be written whole is removed again. 0 or errno.
int writeNewFile(const std::string& path, std::string_view bytes);

// Replaces `path` with `bytes` so that a reader sees the old file or the new one, never
// half of one: a temporary ".<name>.<pid>.tmp" in the same folder (created exclusively;
// one that a crashed run of the same process id left is removed first), written, synced,
// renamed over the target, and the folder synced. The new file keeps an old target's
// permission bits. An existing target that is a symbolic link gives ELOOP, one that is
// no regular file ENOTSUP; both stay untouched. 0 or errno; on a failure the target is
// as it was and no temporary stays.
int atomicReplace(const std::string& path, std::string_view bytes);
// The same for `name` (no slash in it) in the open folder `folder`: the temporary, the
// rename and the sync all go to that folder, wherever its path leads meanwhile.
int atomicReplaceAt(int folder, const std::string& name, std::string_view bytes);

// The process that made `candidate` as the temporary of atomicReplace for `name`, when it
// is one; for removing what a killed run left.
std::optional<pid_t> temporaryOwner(const std::string& name, const std::string& candidate);

// The line that refuses to write through a symbolic link.
std::string symbolicLinkRefusal(const std::string& path);

// True when the last part of `path` is a symbolic link (dangling or not).
bool isSymbolicLink(const std::string& path);

}  // namespace korvelo
