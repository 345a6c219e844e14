// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test drives: byte sources that live in memory or fail on purpose, and the way to put
// them (or image files) into the drive table for the length of one test.
//
//   auto disk = std::make_shared<MemoryDisk>(160039272960);   // sparse, reads zeros
//   disk->write(16 * 512, bytes);
//   ScopedTestDrives drives({imageDrive(pcImage), memoryDrive(disk)});
//   ... findRecorderDrive() sees "0" and "1"; the machine's disks are back afterwards.
//
//   failingDrive(image, {307489})   every read touching sector 307489 fails with EIO
//   unopenableDrive()               a table entry whose open fails (like a drive without rights)

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/byte_source.h"
#include "disk/drive_table.h"

namespace korvelo::test {

// A sparse in-memory disk of a fixed size: only written sectors take memory.
class MemoryDisk {
 public:
  explicit MemoryDisk(int64_t sizeBytes, MediaKind kind = MediaKind::Fixed);

  // Writes bytes at a byte offset; throws std::out_of_range past the end of the disk.
  void write(int64_t offset, std::span<const uint8_t> bytes);
  void writeText(int64_t offset, std::string_view text);
  // Reads like a device: fewer bytes at the end, 0 at or past it.
  int64_t read(int64_t offset, std::span<uint8_t> buffer) const;

  int64_t size() const { return size_; }
  MediaKind kind() const { return kind_; }
  // How many reads reached this disk through any MemorySource (to prove none happened).
  int64_t readCalls() const { return readCalls_.load(); }
  void countRead() const { ++readCalls_; }

 private:
  int64_t size_;
  MediaKind kind_;
  std::map<int64_t, std::vector<uint8_t>> sectors_;  // sector number -> 512 bytes
  mutable std::atomic<int64_t> readCalls_{0};
};

// Reads a shared MemoryDisk; any number of sources may read the same disk.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::shared_ptr<const MemoryDisk> disk) : disk_(std::move(disk)) {}
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override;
  MediaInfo mediaInfo() const override;

 private:
  std::shared_ptr<const MemoryDisk> disk_;
};

// Passes reads through to another source, but fails (-EIO) every read that touches one
// of the chosen 512-byte sectors, transferring nothing.
class FailingSource final : public ByteSource {
 public:
  FailingSource(std::unique_ptr<ByteSource> inner, std::set<int64_t> badSectors);
  // Opens an image file; throws std::runtime_error when it cannot be opened.
  FailingSource(const std::string& imagePath, std::set<int64_t> badSectors);

  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override;
  MediaInfo mediaInfo() const override { return inner_->mediaInfo(); }
  std::optional<FileIdentity> identity() const override { return inner_->identity(); }
  // Whether its failures stand for a disk's (a block device's) rather than an image's.
  bool failuresAreCostly() const override { return costly_; }
  void standForADisk() { costly_ = true; }

 private:
  std::unique_ptr<ByteSource> inner_;
  std::set<int64_t> badSectors_;
  bool costly_ = false;
};

// A drive that was pulled: every read fails with ENODEV.
class GoneSource final : public ByteSource {
 public:
  int64_t readAt(int64_t, std::span<uint8_t>) override { return -ENODEV; }
  MediaInfo mediaInfo() const override { return MediaInfo{MediaKind::Fixed, 512, 1 << 20}; }
};

// Table entries for tests.
DriveSpec imageDrive(const std::string& path);
DriveSpec memoryDrive(std::shared_ptr<const MemoryDisk> disk);
DriveSpec failingDrive(const std::string& imagePath, std::set<int64_t> badSectors);
DriveSpec unopenableDrive();

// Replaces the drive table (entry i is designator '0' + i).
void useTestDrives(std::vector<DriveSpec> drives);

// Installs test drives for one scope and puts the machine's disks back at its end.
class ScopedTestDrives {
 public:
  explicit ScopedTestDrives(std::vector<DriveSpec> drives);
  explicit ScopedTestDrives(const std::vector<std::string>& imagePaths);
  ~ScopedTestDrives();
  ScopedTestDrives(const ScopedTestDrives&) = delete;
  ScopedTestDrives& operator=(const ScopedTestDrives&) = delete;
};

}  // namespace korvelo::test
