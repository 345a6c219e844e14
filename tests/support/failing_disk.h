// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A disk image behind a real block device whose reads fail where a test says: the image
// is served by a small FUSE file system (failing_disk_fs.py) and attached read-only as a
// loop device with direct I/O, so every read of the device reaches the file system as it
// was asked for, and is logged there. Needs root, /dev/fuse, losetup and python3-fusepy.
//
//   if (auto missing = test::FailingDisk::missingPrerequisite(); !missing.empty())
//     GTEST_SKIP() << missing;
//   test::FailingDisk disk(imagePath);           // throws std::runtime_error when it fails
//   disk.setBehaviour({.failing = {{1000, 1}}});  // sector 1000 fails with EIO
//   disk.clearReadLog();
//   ... korvelo-cli --drive disk.device() ...
//   disk.failingReads();
//
// The destructor detaches the loop device and unmounts, also when a test failed.
//
// With LoopCache::Buffered the loop device reads the file through the page cache instead:
// failures then come in whole 4 KiB pages, and sectors read a moment ago still answer from
// the cache when the disk behind it no longer does, as a drive with a cache of its own.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace korvelo::test {

struct SectorRange {
  int64_t first = 0;
  int64_t count = 0;
};

struct DiskBehaviour {
  std::vector<SectorRange> failing = {};  // reads touching these sectors fail with EIO
  std::vector<SectorRange> slow = {};     // reads touching these take slowMilliseconds longer
  int slowMilliseconds = 0;
  bool gone = false;   // every read fails with ENODEV
  int diesAfter = -1;  // >= 0: every read fails with EIO after this many good ones
};

// One read that reached the file system.
struct DeviceRead {
  int64_t offset = 0;
  int64_t size = 0;
  std::string result;  // "ok", "EIO", "ENODEV"
  bool failed() const { return result != "ok"; }
  bool touches(int64_t sector) const {
    return offset < (sector + 1) * 512 && sector * 512 < offset + size;
  }
};

enum class LoopCache { Direct, Buffered };

class FailingDisk {
 public:
  // Why the harness cannot run here; empty when it can.
  static std::string missingPrerequisite();

  explicit FailingDisk(const std::string& image, LoopCache cache = LoopCache::Direct);
  ~FailingDisk();
  FailingDisk(const FailingDisk&) = delete;
  FailingDisk& operator=(const FailingDisk&) = delete;

  const std::string& device() const { return device_; }  // /dev/loopN
  void setBehaviour(const DiskBehaviour& behaviour);
  void clearReadLog();
  std::vector<DeviceRead> reads() const;
  int failingReads() const;

 private:
  void detachAndUnmount();

  TempDir folder_;  // mount point, control file and read log; removed after the unmount
  std::string mountPoint_;
  int server_ = -1;  // pid of the file system process
  bool mounted_ = false;
  std::string device_;
};

}  // namespace korvelo::test
