// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "disk/system_reason.h"
#include "disk/target_folder.h"

namespace korvelo {
namespace {

// How much is handed to the disk at a time: about 2 MiB, a few dozen milliseconds of
// writing for a slow disk, so that waiting for the piece before never stalls for long.
constexpr int64_t kWritebackPiece = int64_t{2} << 20;

}  // namespace

// Opens the file and checks it before anything of it changes: a regular file with this
// one name. 0 or errno, nothing held on a refusal.
int OutputFile::openOnlyName(const TargetFolder& folder, const std::string& name, bool create,
                             bool mustBeNew) {
  discard();
  struct stat info {};
  if (const int error = folder.openOnlyName(file_, name, create, mustBeNew, info); error != 0)
    return error;
  identity_ = FileIdentity{info.st_dev, info.st_ino};
  return 0;
}

int OutputFile::create(const TargetFolder& folder, const std::string& name, bool mustBeNew) {
  if (const int error = openOnlyName(folder, name, true, mustBeNew); error != 0) return error;
  // Emptied only after the checks: O_TRUNC would cut a file that is then refused.
  if (::ftruncate(file_.get(), 0) != 0) {
    const int error = errno;
    discard();
    return error;
  }
  startAt(0);
  return 0;
}

int OutputFile::reopen(const TargetFolder& folder, const std::string& name, int64_t keptBytes) {
  if (const int error = openOnlyName(folder, name, false, false); error != 0) return error;
  if (::ftruncate(file_.get(), keptBytes) != 0 ||
      ::lseek(file_.get(), keptBytes, SEEK_SET) != keptBytes) {
    const int error = errno;
    discard();
    return error;
  }
  // The kept bytes are the earlier run's; the final sync covers them too.
  startAt(keptBytes);
  return 0;
}

void OutputFile::startAt(int64_t bytes) {
  written_ = handedToDisk_ = waitedFor_ = bytes;
  pacing_ = true;
  writebackError_ = 0;
}

int OutputFile::writeAll(const uint8_t* data, size_t size) {
  if (const int error = file_.writeAll({data, size}); error != 0) return error;
  written_ += static_cast<int64_t>(size);
  paceWriteback();
  return 0;
}

// Starts the writeback of the newest whole piece and waits for the one before it. The
// pieces stay in the cache, clean, for whoever reads the file right after (the check
// sums). A writeback error is kept for syncAndClose: once a wait has seen it, the final
// sync would no longer report it.
void OutputFile::paceWriteback() {
  if (!pacing_ || written_ - handedToDisk_ < kWritebackPiece) return;
  const int64_t end = written_ - written_ % kWritebackPiece;
  const int fd = file_.get();
  int result = ::sync_file_range(fd, handedToDisk_, end - handedToDisk_, SYNC_FILE_RANGE_WRITE);
  if (result == 0 && handedToDisk_ > waitedFor_) {
    result = ::sync_file_range(
        fd, waitedFor_, handedToDisk_ - waitedFor_,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    if (result == 0) waitedFor_ = handedToDisk_;
  }
  if (result != 0) {
    // Where the file system cannot do this, the final sync does all the work; any other
    // answer is a failed writeback.
    const int error = errno;
    if (error != EINVAL && error != ESPIPE && error != ENOSYS && error != EOPNOTSUPP)
      writebackError_ = error;
    pacing_ = false;
    return;
  }
  handedToDisk_ = end;
}

int64_t OutputFile::lengthNow() const {
  struct stat info {};
  if (!file_.isOpen() || ::fstat(file_.get(), &info) != 0) return -1;
  return info.st_size;
}

int OutputFile::writeAllAt(int64_t offset, std::span<const uint8_t> bytes) {
  if (!file_.isOpen()) return EBADF;
  if (offset < 0 || offset + static_cast<int64_t>(bytes.size()) > written_) return EINVAL;
  return file_.writeAllAt(offset, bytes);
}

int OutputFile::syncAndClose() {
  if (!file_.isOpen()) return 0;
  int error = writebackError_;
  const int syncError = file_.syncData();
  if (syncError != 0 && syncError != EINVAL && syncError != EROFS && error == 0) error = syncError;
  const int closeError = file_.close();  // the identity stays: the file is judged after
  return error != 0 ? error : closeError;
}

void OutputFile::discard() {
  file_.close();
  identity_.reset();
}

std::string describeError(int error) {
  return systemReason(error);
}

}  // namespace korvelo
