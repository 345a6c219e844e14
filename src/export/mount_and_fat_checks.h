// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checks made before anything is written: a target file system too small for the file
// (FAT32 holds no file of 4 GiB or more), and a source device that is mounted, so that
// a file system's writes and a recording's reads never meet on the same disk.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvelo {

inline constexpr long kMsdosSuperMagic = 0x4d44;  // statfs f_type of FAT12/16/32
inline constexpr uint64_t kLargestFatFile = 0xFFFFFFFFull;

// The statfs f_type of the file system holding `folder`; nothing when the query fails.
using FileSystemTypeQuery = std::function<std::optional<long>(const std::string& folder)>;
std::optional<long> queryFileSystemType(const std::string& folder);

// Empty when a file of `bytes` fits the folder's file system; else the German reason.
std::string fileSizeLimitProblem(const std::string& folder, uint64_t bytes,
                                 const FileSystemTypeQuery& query = queryFileSystemType);

struct Mount {
  unsigned major = 0, minor = 0;
  std::string mountPoint;
};

// The mounts listed in a /proc/self/mountinfo text (octal escapes in paths decoded).
std::vector<Mount> parseMountinfo(const std::string& text);

// Whether the block device major:minor is a partition of the disk diskMajor:diskMinor.
using PartitionQuery =
    std::function<bool(unsigned major, unsigned minor, unsigned diskMajor, unsigned diskMinor)>;
bool isPartitionInSysfs(unsigned major, unsigned minor, unsigned diskMajor, unsigned diskMinor);

// The mount points of the device `device` (st_rdev) or of its partitions.
std::vector<std::string> mountPointsOf(dev_t device, const std::vector<Mount>& mounts,
                                       const PartitionQuery& isPartition = isPartitionInSysfs);

// Empty when `path` is no block device or neither it nor a partition of it is mounted;
// else the German reason naming the mount point.
std::string mountedSourceProblem(const std::string& path);

}  // namespace korvelo
