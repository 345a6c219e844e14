// The byte source behind a block device or an image file: a read-only descriptor
// with positioned reads.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <utility>

#include "disk/drive_table.h"
#include "disk/posix_file.h"

namespace korvelo {
namespace {

// A whole disk has its flag in its own sysfs folder; a partition in its parent's.
bool isRemovableBlockDevice(dev_t device) {
  const std::string base = "/sys/dev/block/" + std::to_string(major(device)) + ":" +
                           std::to_string(minor(device));
  for (const char* candidate : {"/removable", "/../removable"}) {
    std::ifstream flag(base + candidate);
    int value = 0;
    if (flag >> value) return value == 1;
  }
  return false;
}

MediaInfo blockDeviceInfo(int fd, dev_t device) {
  MediaInfo info;
  info.kind = isRemovableBlockDevice(device) ? MediaKind::Removable : MediaKind::Fixed;
  int sectorSize = 0;
  if (::ioctl(fd, BLKSSZGET, &sectorSize) == 0 && sectorSize > 0) info.bytesPerSector = sectorSize;
  uint64_t size = 0;
  info.sizeBytes = (::ioctl(fd, BLKGETSIZE64, &size) == 0) ? static_cast<int64_t>(size) : -1;
  return info;
}

class FileSource final : public ByteSource {
 public:
  explicit FileSource(PosixFile fd) : fd_(std::move(fd)) {}

  // Repeats interrupted and partial transfers; stops at the end of the medium.
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    if (offset < 0) return -EINVAL;
    size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t got = ::pread(fd_.get(), buffer.data() + done, buffer.size() - done,
                                  static_cast<off_t>(offset + static_cast<int64_t>(done)));
      if (got < 0) {
        if (errno == EINTR) continue;
        return -errno;
      }
      if (got == 0) break;
      done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
  }

  MediaInfo mediaInfo() const override {
    struct stat status {};
    if (::fstat(fd_.get(), &status) != 0) return MediaInfo{MediaKind::NotADisk, 512, -1};
    if (S_ISBLK(status.st_mode)) return blockDeviceInfo(fd_.get(), status.st_rdev);
    if (S_ISREG(status.st_mode)) return MediaInfo{MediaKind::Fixed, 512, status.st_size};
    return MediaInfo{MediaKind::NotADisk, 512, -1};
  }

  std::optional<FileIdentity> identity() const override {
    struct stat status {};
    if (::fstat(fd_.get(), &status) != 0) return std::nullopt;
    return FileIdentity{status.st_dev, status.st_ino};
  }

  // Starts the reading of the range in the background. On Linux the sequential advice
  // holds for the whole descriptor (it widens the read-ahead), so it is given once.
  void adviseSequential(int64_t offset, int64_t length) override {
    if (offset < 0 || length <= 0) return;
    if (!sequentialAdvised_) {
      ::posix_fadvise(fd_.get(), static_cast<off_t>(offset), static_cast<off_t>(length),
                      POSIX_FADV_SEQUENTIAL);
      sequentialAdvised_ = true;
    }
    ::posix_fadvise(fd_.get(), static_cast<off_t>(offset), static_cast<off_t>(length),
                    POSIX_FADV_WILLNEED);
  }

 private:
  PosixFile fd_;
  bool sequentialAdvised_ = false;
};

}  // namespace

std::unique_ptr<ByteSource> openPathSource(const std::string& path, int* error) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error) *error = errno;
    return nullptr;
  }
  if (error) *error = 0;
  return std::make_unique<FileSource>(PosixFile(fd));
}

}  // namespace korvelo
