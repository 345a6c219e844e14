#include "export/sector_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace korvelo {
namespace {

constexpr int kSectorsPerRead = 256;  // 128 KiB

class ImageFile {
 public:
  ~ImageFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  int create(const std::string& path, bool overwrite) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (overwrite ? 0 : O_EXCL);
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) return errno;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return errno;
    if (!S_ISREG(info.st_mode)) return ENOTSUP;  // a device or pipe is never written
    return ::ftruncate(fd_, 0) == 0 ? 0 : errno;
  }
  int resize(int64_t bytes) { return ::ftruncate(fd_, bytes) == 0 ? 0 : errno; }
  int writeAt(int64_t offset, const uint8_t* data, size_t size) {
    while (size > 0) {
      const ssize_t written = ::pwrite(fd_, data, size, offset);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return written < 0 ? errno : EIO;
      data += written;
      offset += written;
      size -= static_cast<size_t>(written);
    }
    return 0;
  }
  int syncAndClose() {
    int error = ::fdatasync(fd_) == 0 ? 0 : errno;
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    return error;
  }

 private:
  int fd_ = -1;
};

// Reads count sectors; when that fails, each on its own, zero-filling those that stay unreadable.
int64_t readOrZero(PhysicalDrive& drive, int64_t sector, int count, uint8_t* buffer) {
  if (drive.readSectorInto(sector, count, buffer)) return 0;
  int64_t unreadable = 0;
  for (int i = 0; i < count; ++i) {
    uint8_t* one = buffer + static_cast<size_t>(i) * kSectorSize;
    if (!drive.readSectorInto(sector + i, 1, one)) {
      std::memset(one, 0, kSectorSize);
      ++unreadable;
    }
  }
  return unreadable;
}

}  // namespace

SectorImageResult writeSectorImage(PhysicalDrive& drive, const SectorRanges& sectors,
                                   int64_t imageBytes, const std::string& path, bool overwrite) {
  SectorImageResult result;
  ImageFile image;
  if ((result.error = image.create(path, overwrite)) != 0) return result;
  SectorRanges wanted = sectors;
  if (imageBytes >= 0) wanted.clipTo(imageBytes / kSectorSize);
  const int64_t size =
      imageBytes >= 0 ? imageBytes
                      : (wanted.ranges().empty() ? 0 : wanted.ranges().rbegin()->second * kSectorSize);
  if ((result.error = image.resize(size)) != 0) return result;
  std::vector<uint8_t> buffer(static_cast<size_t>(kSectorsPerRead) * kSectorSize);
  for (const auto& [first, end] : wanted.ranges()) {
    for (int64_t sector = first; sector < end; sector += kSectorsPerRead) {
      const int count = static_cast<int>(std::min<int64_t>(kSectorsPerRead, end - sector));
      result.unreadableSectors += readOrZero(drive, sector, count, buffer.data());
      result.error = image.writeAt(sector * kSectorSize, buffer.data(),
                                   static_cast<size_t>(count) * kSectorSize);
      if (result.error != 0) return result;
      result.copiedSectors += count;
    }
  }
  result.error = image.syncAndClose();
  return result;
}

}  // namespace korvelo
