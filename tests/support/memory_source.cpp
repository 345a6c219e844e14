// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/memory_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace korvelo::test {
namespace {
constexpr int64_t kSector = 512;
}

MemoryDisk::MemoryDisk(int64_t sizeBytes, MediaKind kind) : size_(sizeBytes), kind_(kind) {}

void MemoryDisk::write(int64_t offset, std::span<const uint8_t> bytes) {
  if (offset < 0 || offset + int64_t(bytes.size()) > size_) {
    throw std::out_of_range("write past the end of the memory disk");
  }
  for (size_t done = 0; done < bytes.size();) {
    const int64_t at = offset + int64_t(done);
    std::vector<uint8_t>& sector = sectors_[at / kSector];
    sector.resize(kSector);
    const size_t inSector = size_t(at % kSector);
    const size_t piece = std::min(bytes.size() - done, size_t(kSector) - inSector);
    std::memcpy(sector.data() + inSector, bytes.data() + done, piece);
    done += piece;
  }
}

void MemoryDisk::writeText(int64_t offset, std::string_view text) {
  write(offset, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

int64_t MemoryDisk::read(int64_t offset, std::span<uint8_t> buffer) const {
  if (offset < 0) return -EINVAL;
  if (offset >= size_) return 0;
  const size_t length = size_t(std::min<int64_t>(int64_t(buffer.size()), size_ - offset));
  for (size_t done = 0; done < length;) {
    const int64_t at = offset + int64_t(done);
    const size_t inSector = size_t(at % kSector);
    const size_t piece = std::min(length - done, size_t(kSector) - inSector);
    const auto found = sectors_.find(at / kSector);
    if (found == sectors_.end()) {
      std::memset(buffer.data() + done, 0, piece);
    } else {
      std::memcpy(buffer.data() + done, found->second.data() + inSector, piece);
    }
    done += piece;
  }
  return int64_t(length);
}

int64_t MemorySource::readAt(int64_t offset, std::span<uint8_t> buffer) {
  disk_->countRead();
  return disk_->read(offset, buffer);
}

MediaInfo MemorySource::mediaInfo() const {
  return MediaInfo{disk_->kind(), 512, disk_->size()};
}

FailingSource::FailingSource(std::unique_ptr<ByteSource> inner, std::set<int64_t> badSectors)
    : inner_(std::move(inner)), badSectors_(std::move(badSectors)) {
  if (!inner_) throw std::invalid_argument("FailingSource needs a source to wrap");
}

FailingSource::FailingSource(const std::string& imagePath, std::set<int64_t> badSectors)
    : badSectors_(std::move(badSectors)) {
  int error = 0;
  inner_ = openPathSource(imagePath, &error);
  if (!inner_) throw std::runtime_error("cannot open " + imagePath + ": " + std::strerror(error));
}

int64_t FailingSource::readAt(int64_t offset, std::span<uint8_t> buffer) {
  if (!buffer.empty() && offset >= 0) {
    const int64_t first = offset / kSector;
    const int64_t last = (offset + int64_t(buffer.size()) - 1) / kSector;
    const auto bad = badSectors_.lower_bound(first);
    if (bad != badSectors_.end() && *bad <= last) return -EIO;
  }
  return inner_->readAt(offset, buffer);
}

DriveSpec imageDrive(const std::string& path) {
  return DriveSpec{path, {}, {}};
}

DriveSpec memoryDrive(std::shared_ptr<const MemoryDisk> disk) {
  return DriveSpec{"<memory>", {}, [disk]() -> std::unique_ptr<ByteSource> {
                     return std::make_unique<MemorySource>(disk);
                   }};
}

DriveSpec failingDrive(const std::string& imagePath, std::set<int64_t> badSectors) {
  return DriveSpec{imagePath, {}, [imagePath, badSectors]() -> std::unique_ptr<ByteSource> {
                     std::unique_ptr<ByteSource> image = openPathSource(imagePath);
                     if (!image) return nullptr;  // opens like a missing drive
                     return std::make_unique<FailingSource>(std::move(image), badSectors);
                   }};
}

DriveSpec unopenableDrive() {
  return DriveSpec{"<unopenable>", {}, []() -> std::unique_ptr<ByteSource> { return nullptr; }};
}

void useTestDrives(std::vector<DriveSpec> drives) {
  DriveTable::useDrives(std::move(drives));
}

ScopedTestDrives::ScopedTestDrives(std::vector<DriveSpec> drives) {
  useTestDrives(std::move(drives));
}

ScopedTestDrives::ScopedTestDrives(const std::vector<std::string>& imagePaths) {
  DriveTable::usePaths(imagePaths);
}

ScopedTestDrives::~ScopedTestDrives() {
  DriveTable::useMachineDisks();
}

}  // namespace korvelo::test
