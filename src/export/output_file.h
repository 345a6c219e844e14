// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ".hav" file being written: one POSIX descriptor, written front to back. Writes go
// straight to the system (there is no buffer of our own to flush); the data is synced
// to the disk once, when the file is closed at the end of the job. On the way, every
// finished piece of a few MiB is handed to the disk and the piece before it waited for,
// so that a long export never piles up gigabytes of unwritten data: the final sync stays
// short (the window keeps answering) and the memory never fills with unwritten data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "disk/byte_source.h"
#include "disk/posix_file.h"

namespace korvelo {

class TargetFolder;

class OutputFile {
 public:
  // Moving keeps the file open; the destructor closes it without syncing or reporting.

  // Creates the file `name` in `folder` (permissions 0666 less the umask), or empties an
  // existing one unless `mustBeNew` (then EEXIST). A symbolic link in the file's place is
  // never followed (ELOOP); anything but a regular file is left alone (ENOTSUP), and so
  // is a file with more names than this one (EMLINK): writing it would change it under
  // its other names too. 0 or errno.
  int create(const TargetFolder& folder, const std::string& name, bool mustBeNew = false);
  // Opens the existing file `name` in `folder` (never through a symbolic link, nor a file
  // with other names) to go on writing it after its first keptBytes, which stay; whatever
  // follows them is cut off. 0 or errno.
  int reopen(const TargetFolder& folder, const std::string& name, int64_t keptBytes);
  // The file written (device and inode), known from its opening on: what is at its path at
  // the end must still be this file for the copy to count.
  const std::optional<FileIdentity>& identity() const { return identity_; }
  // Bytes written since the file was opened, the kept ones included: the file's length.
  int64_t length() const { return written_; }
  // The length the file has now, asked of its descriptor; -1 when it is not open or the
  // question failed. Differs from length() only when someone else cut or grew the file.
  int64_t lengthNow() const;
  // Writes all bytes, repeating after interruptions and partial writes. 0 or errno
  // (EBADF when the file is not open).
  int writeAll(const uint8_t* data, size_t size);
  // Writes all bytes at `offset` in what was written before (the file does not grow), the
  // position for writeAll unchanged. 0 or errno (EINVAL beyond what was written).
  int writeAllAt(int64_t offset, std::span<const uint8_t> bytes);
  // Syncs the data to the disk and closes; closed afterwards whatever happened. 0 or errno.
  int syncAndClose();
  // Closes without syncing, for a file that is abandoned after a failure.
  void discard();
  bool isOpen() const { return file_.isOpen(); }

 private:
  void paceWriteback();
  void startAt(int64_t bytes);
  int openOnlyName(const TargetFolder& folder, const std::string& name, bool create,
                   bool mustBeNew);

  PosixFile file_;
  int64_t written_ = 0;       // bytes written since create: the file's length
  int64_t handedToDisk_ = 0;  // writeback started for the bytes before this offset
  int64_t waitedFor_ = 0;     // written back for the bytes before this offset
  bool pacing_ = true;        // false where the file system cannot start writeback itself
  int writebackError_ = 0;    // errno of a writeback that failed, reported when closing
  std::optional<FileIdentity> identity_;
};

// The system's description of an errno value, for the "  FileException: %s" lines.
std::string describeError(int error);

}  // namespace korvelo
