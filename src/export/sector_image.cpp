// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/sector_image.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "disk/posix_file.h"

namespace korvelo {
namespace {

constexpr int kSectorsPerRead = 256;  // 128 KiB

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
  PosixFile image;
  if ((result.error = image.createRegular(path, !overwrite)) != 0) return result;
  SectorRanges wanted = sectors;
  if (imageBytes >= 0) wanted.clipTo(imageBytes / kSectorSize);
  const int64_t size =
      imageBytes >= 0
          ? imageBytes
          : (wanted.ranges().empty() ? 0 : wanted.ranges().rbegin()->second * kSectorSize);
  if (::ftruncate(image.get(), size) != 0) {
    result.error = errno;
    return result;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(kSectorsPerRead) * kSectorSize);
  for (const auto& [first, end] : wanted.ranges()) {
    for (int64_t sector = first; sector < end; sector += kSectorsPerRead) {
      const int count = static_cast<int>(std::min<int64_t>(kSectorsPerRead, end - sector));
      result.unreadableSectors += readOrZero(drive, sector, count, buffer.data());
      result.error = image.writeAllAt(sector * kSectorSize,
                                      {buffer.data(), static_cast<size_t>(count) * kSectorSize});
      if (result.error != 0) return result;
      result.copiedSectors += count;
    }
  }
  result.error = image.syncData();
  if (const int closeError = image.close(); result.error == 0) result.error = closeError;
  return result;
}

}  // namespace korvelo
