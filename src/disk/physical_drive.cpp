// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/physical_drive.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <limits>
#include <new>
#include <utility>

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
  costs_ = streak_ = run_ = ReadCosts{};
  deviceGone_ = false;
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

namespace {

int64_t steadyMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void addRead(ReadCosts& costs, int64_t millis, bool failed) {
  if (failed) {
    ++costs.failingReads;
    costs.failingMillis += millis;
  }
  if (millis > kSlowReadMillis) ++costs.slowReads;
  costs.longestMillis = std::max(costs.longestMillis, millis);
}

}  // namespace

ReadCosts& ReadCosts::operator+=(const ReadCosts& more) {
  failingReads += more.failingReads;
  failingMillis += more.failingMillis;
  slowReads += more.slowReads;
  longestMillis = std::max(longestMillis, more.longestMillis);
  return *this;
}

ReadCosts PhysicalDrive::takeCosts() {
  return std::exchange(costs_, ReadCosts{});
}

bool PhysicalDrive::readSectorInto(int64_t sector, int count, uint8_t* buffer) {
  if (!isOpen() || count < 1 || buffer == nullptr) return false;
  constexpr int64_t kLastAddressable = std::numeric_limits<int64_t>::max() / kSectorSize;
  if (sector < 0 || sector > kLastAddressable - count) {
    lastError_ = EINVAL;
    return false;
  }
  const int64_t start = clock_ ? clock_() : steadyMillis();
  const bool read = readFromSource(sector, count, buffer);
  const int64_t millis = std::max<int64_t>(0, (clock_ ? clock_() : steadyMillis()) - start);
  addRead(costs_, millis, !read);
  addRead(streak_, millis, !read);
  if (read) {
    run_ = {};
  } else {
    addRead(run_, millis, true);
    deviceGone_ = deviceGone_ || failedForGone(sector);
  }
  return read;
}

bool PhysicalDrive::failedForGone(int64_t sector) const {
  if (lastError_ == ENODEV || lastError_ == ENOMEDIUM) return true;
  if (lastError_ != ENXIO) return false;
  // ENXIO is also what a read starting past the end of the medium gives.
  const int64_t size = source_ ? source_->mediaInfo().sizeBytes : -1;
  return size < 0 || sector * kSectorSize < size;
}

// One read as the source answers it: retried when interrupted, continued after a short part.
bool PhysicalDrive::readFromSource(int64_t sector, int count, uint8_t* buffer) {
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
