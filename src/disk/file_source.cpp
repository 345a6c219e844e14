// SPDX-License-Identifier: GPL-3.0-or-later
// The byte source behind a block device or an image file: a read-only descriptor
// with positioned reads. A block device is read past the page cache (O_DIRECT): the
// cache's read-ahead would turn one bad sector into many failing device reads and fail
// whole 4 KiB pages around it, where a direct read fails exactly the sectors asked for.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include "disk/drive_table.h"
#include "disk/posix_file.h"

namespace korvelo {
namespace {

// A whole disk has its flag in its own sysfs folder; a partition in its parent's.
bool isRemovableBlockDevice(dev_t device) {
  const std::string base =
      "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
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

// Direct reads need a buffer, an offset and a length aligned to the device's logical
// sector size; the memory is aligned to a page, which every device accepts.
constexpr size_t kDirectMemoryAlignment = 4096;

struct FreeDeleter {
  void operator()(uint8_t* block) const { std::free(block); }
};
using AlignedBlock = std::unique_ptr<uint8_t, FreeDeleter>;

class FileSource final : public ByteSource {
 public:
  // directAlignment > 0: fd was opened with O_DIRECT, and every read goes through an
  // aligned buffer in whole sectors of that size.
  FileSource(PosixFile fd, bool blockDevice, int directAlignment)
      : fd_(std::move(fd)), blockDevice_(blockDevice), directAlignment_(directAlignment) {}

  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    if (offset < 0) return -EINVAL;
    return directAlignment_ > 0 ? readDirect(offset, buffer) : readRange(offset, buffer);
  }

  // Repeats interrupted and partial transfers; stops at the end of the medium.
  int64_t readRange(int64_t offset, std::span<uint8_t> buffer) {
    return fd_.readAt(offset, buffer);
  }

  // The sectors around [offset, offset + size) into the aligned buffer, the asked part
  // copied out; straight into the caller's buffer when that is aligned as the device
  // needs (the large reads of an export are).
  int64_t readDirect(int64_t offset, std::span<uint8_t> buffer) {
    const int64_t align = directAlignment_;
    if (offset % align == 0 && static_cast<int64_t>(buffer.size()) % align == 0 &&
        reinterpret_cast<uintptr_t>(buffer.data()) % kDirectMemoryAlignment == 0)
      return readRange(offset, buffer);
    const int64_t first = offset / align * align;
    const int64_t end = (offset + static_cast<int64_t>(buffer.size()) + align - 1) / align * align;
    if (!reserve(static_cast<size_t>(end - first))) return -ENOMEM;
    const int64_t got =
        readRange(first, std::span<uint8_t>(aligned_.get(), static_cast<size_t>(end - first)));
    if (got < 0) return got;
    const int64_t useful =
        std::clamp<int64_t>(got - (offset - first), 0, static_cast<int64_t>(buffer.size()));
    std::memcpy(buffer.data(), aligned_.get() + (offset - first), static_cast<size_t>(useful));
    return useful;
  }

  bool reserve(size_t size) {
    if (size <= alignedSize_) return true;
    const size_t rounded =
        (size + kDirectMemoryAlignment - 1) / kDirectMemoryAlignment * kDirectMemoryAlignment;
    aligned_.reset(static_cast<uint8_t*>(std::aligned_alloc(kDirectMemoryAlignment, rounded)));
    alignedSize_ = aligned_ ? rounded : 0;
    return aligned_ != nullptr;
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
  bool failuresAreCostly() const override { return blockDevice_; }

  bool readsAhead() const override { return true; }

  // Direct reads bypass the cache, so there is nothing to fetch into it.
  void adviseSequential(int64_t offset, int64_t length) override {
    if (directAlignment_ > 0 || offset < 0 || length <= 0) return;
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
  bool blockDevice_ = false;
  int directAlignment_ = 0;  // 0: reads through the page cache
  AlignedBlock aligned_;
  size_t alignedSize_ = 0;
  bool sequentialAdvised_ = false;
};

int openReadOnly(const std::string& path, int extraFlags) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool isBlockDevice(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISBLK(status.st_mode);
}

// A folder or a pipe opens but holds no sectors; its errno says what it is instead.
int refusedKind(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return errno;
  if (S_ISDIR(status.st_mode)) return EISDIR;
  if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return ENODEV;
  return 0;
}

// The logical sector size of a block device, the alignment its direct reads need; 0
// when the size query is refused.
int directAlignmentOf(int fd) {
  int sectorSize = 0;
  if (::ioctl(fd, BLKSSZGET, &sectorSize) != 0 || sectorSize < 512) return 0;
  return sectorSize;
}

}  // namespace

std::unique_ptr<ByteSource> openPathSource(const std::string& path, int* error) {
  // Without O_NONBLOCK a FIFO would hold the open until some writer comes along.
  const int fd = openReadOnly(path, O_NONBLOCK);
  if (fd < 0) {
    if (error) *error = errno;
    return nullptr;
  }
  PosixFile plain(fd);
  if (const int refused = refusedKind(fd); refused != 0) {
    if (error) *error = refused;
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (error) *error = 0;
  const bool blockDevice = isBlockDevice(fd);
  if (const int alignment = blockDevice ? directAlignmentOf(fd) : 0; alignment > 0) {
    const int direct = openReadOnly(path, O_DIRECT);
    if (direct >= 0) return std::make_unique<FileSource>(PosixFile(direct), true, alignment);
  }
  return std::make_unique<FileSource>(std::move(plain), blockDevice, 0);
}

std::unique_ptr<ByteSource> openDescriptorSource(PosixFile fd, int* error) {
  const int flags = ::fcntl(fd.get(), F_GETFL);
  int refused = flags < 0 ? errno : 0;
  if (refused == 0 && (flags & O_ACCMODE) != O_RDONLY) refused = EROFS;
  if (refused == 0) refused = refusedKind(fd.get());
  if (error) *error = refused;
  if (refused != 0) return nullptr;
  const bool blockDevice = isBlockDevice(fd.get());
  const int alignment = blockDevice ? directAlignmentOf(fd.get()) : 0;
  // The path may not be opened again (that is why the descriptor was handed over), so
  // direct reads are switched on for the descriptor itself; a device that refuses them
  // is read through the cache.
  const bool direct = alignment > 0 && ((flags & O_DIRECT) != 0 ||
                                        ::fcntl(fd.get(), F_SETFL, flags | O_DIRECT) == 0);
  return std::make_unique<FileSource>(std::move(fd), blockDevice, direct ? alignment : 0);
}

}  // namespace korvelo
