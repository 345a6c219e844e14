#include "export/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace korvelo {

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int OutputFile::create(const std::string& path) {
  discard();
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  fd_ = fd;
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
  }
  return 0;
}

int OutputFile::syncAndClose() {
  if (fd_ < 0) return 0;
  int error = 0;
  if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) error = errno;
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
