// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskbuilder/image_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "diskbuilder/layout.h"

namespace korvelo::sample {

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what, int error) {
  throw std::runtime_error("disk image " + path + ": " + what + ": " + std::strerror(error));
}

}  // namespace

ImageWriter::ImageWriter(const std::string& path, uint64_t imageBytes)
    : path_(path), imageBytes_(imageBytes) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    throw std::runtime_error("disk image " + path + ": exists and is not a regular file");
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) fail(path, "cannot create", errno);
  if (::ftruncate(fd_, static_cast<off_t>(imageBytes)) != 0) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    fail(path, "cannot set the size to " + std::to_string(imageBytes) + " bytes", error);
  }
}

ImageWriter::~ImageWriter() {
  if (fd_ >= 0) ::close(fd_);
}

void ImageWriter::write(int64_t sector, const uint8_t* data, uint64_t bytes,
                        const std::string& what) {
  if (sector < 0) {
    throw std::runtime_error("disk image " + path_ + ": " + what + " at negative sector " +
                             std::to_string(sector));
  }
  const uint64_t start = static_cast<uint64_t>(sector) * kSectorBytes;
  if (start > imageBytes_ || bytes > imageBytes_ - start) {
    throw std::runtime_error("disk image " + path_ + ": " + what + " at sector " +
                             std::to_string(sector) + " (" + std::to_string(bytes) +
                             " bytes) reaches past the image end at " +
                             std::to_string(imageBytes_) + " bytes");
  }
  uint64_t done = 0;
  while (done < bytes) {
    const ssize_t written =
        ::pwrite(fd_, data + done, bytes - done, static_cast<off_t>(start + done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) fail(path_, "cannot write " + what, written < 0 ? errno : EIO);
    done += static_cast<uint64_t>(written);
  }
}

void ImageWriter::close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail(path_, "cannot close", errno);
}

}  // namespace korvelo::sample
