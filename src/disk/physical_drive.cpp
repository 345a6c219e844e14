// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/physical_drive.h"

#include <cctype>
#include <cerrno>
#include <limits>
#include <new>

#include "disk/drive_table.h"
#include "disk/pending_read.h"

namespace korvelo {

bool PhysicalDrive::open(char drive) {
  source_.reset();
  driveChar_ = static_cast<char>(std::toupper(static_cast<unsigned char>(drive)));
  // Letters name volumes, which have no mapping here; the table only knows digits.
  int error = 0;
  source_ = openDriveSource(driveChar_, &error);
  lastError_ = source_ ? 0 : error;
  return isOpen();
}

std::unique_ptr<uint8_t[]> PhysicalDrive::readSector(int64_t sector, int count) {
  if (!isOpen() || count < 1) return nullptr;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow)
                                       uint8_t[static_cast<size_t>(count) * kSectorSize]);
  if (!block) {
    lastError_ = ENOMEM;
    return nullptr;
  }
  if (!readSectorInto(sector, count, block.get())) return nullptr;
  return block;
}

bool PhysicalDrive::readSectorInto(int64_t sector, int count, uint8_t* buffer) {
  if (!isOpen() || count < 1 || buffer == nullptr) return false;
  constexpr int64_t kLastAddressable = std::numeric_limits<int64_t>::max() / kSectorSize;
  if (sector < 0 || sector > kLastAddressable - count) {
    lastError_ = EINVAL;
    return false;
  }
  const int64_t offset = sector * kSectorSize;
  const size_t wanted = static_cast<size_t>(count) * kSectorSize;
  const PendingReadMark waiting(sector, count);  // a window may tell what it waits for
  size_t done = 0;
  while (done < wanted) {
    const int64_t got = source_->readAt(offset + static_cast<int64_t>(done),
                                        std::span<uint8_t>(buffer + done, wanted - done));
    if (got == -EINTR) continue;
    if (got < 0) {
      lastError_ = static_cast<int>(-got);
      return false;
    }
    if (got == 0) {
      // The medium ends before the last sector asked for: a copy that stopped early or
      // a cut-off image. Zeros in their place would pass for recorded data.
      lastError_ = kReadPastEndError;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  lastError_ = 0;
  return true;
}

void PhysicalDrive::adviseSequential(int64_t sector, int64_t count) {
  constexpr int64_t kLastAddressable = std::numeric_limits<int64_t>::max() / kSectorSize;
  if (!isOpen() || sector < 0 || count < 1 || sector > kLastAddressable - count) return;
  source_->adviseSequential(sector * kSectorSize, count * kSectorSize);
}

}  // namespace korvelo
