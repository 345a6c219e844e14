#include "export/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace korvelo {
namespace {

// How much is handed to the disk at a time: about 2 MiB, a few dozen milliseconds of
// writing for a slow disk, so that waiting for the piece before never stalls for long.
constexpr int64_t kWritebackPiece = int64_t{2} << 20;

// open(2) repeated while a signal interrupts it; the descriptor or -1 with errno set.
int openRetrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      written_(other.written_),
      handedToDisk_(other.handedToDisk_),
      waitedFor_(other.waitedFor_),
      pacing_(other.pacing_),
      writebackError_(other.writebackError_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::exchange(other.fd_, -1);
    written_ = other.written_;
    handedToDisk_ = other.handedToDisk_;
    waitedFor_ = other.waitedFor_;
    pacing_ = other.pacing_;
    writebackError_ = other.writebackError_;
  }
  return *this;
}

int OutputFile::create(const std::string& path) {
  discard();
  const int fd = openRetrying(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return errno;
  fd_ = fd;
  written_ = handedToDisk_ = waitedFor_ = 0;
  pacing_ = true;
  writebackError_ = 0;
  return 0;
}

int OutputFile::reopen(const std::string& path, int64_t keptBytes) {
  discard();
  const int fd = openRetrying(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  if (::ftruncate(fd, keptBytes) != 0 || ::lseek(fd, keptBytes, SEEK_SET) != keptBytes) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  fd_ = fd;
  // The kept bytes are the earlier run's; the final sync covers them too.
  written_ = handedToDisk_ = waitedFor_ = keptBytes;
  pacing_ = true;
  writebackError_ = 0;
  return 0;
}

int OutputFile::writeAll(const uint8_t* data, size_t size) {
  if (fd_ < 0) return EBADF;
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;  // a regular file never takes nothing without an error
    data += written;
    size -= static_cast<size_t>(written);
    written_ += written;
  }
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
  int result = ::sync_file_range(fd_, handedToDisk_, end - handedToDisk_, SYNC_FILE_RANGE_WRITE);
  if (result == 0 && handedToDisk_ > waitedFor_) {
    result = ::sync_file_range(fd_, waitedFor_, handedToDisk_ - waitedFor_,
                               SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                   SYNC_FILE_RANGE_WAIT_AFTER);
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

int OutputFile::syncAndClose() {
  if (fd_ < 0) return 0;
  int error = writebackError_;
  if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS && error == 0) error = errno;
  // The descriptor is gone after close whatever it answers, so close is never repeated.
  if (::close(std::exchange(fd_, -1)) != 0 && error == 0 && errno != EINTR) error = errno;
  return error;
}

void OutputFile::discard() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

std::string describeError(int error) {
  char buffer[512];
  // GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text ? std::string(text) : std::string();
}

}  // namespace korvelo
