// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/physical_drive.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "disk/drive_table.h"
#include "disk/pending_read.h"

namespace korvelo {

bool PhysicalDrive::open(char drive) {
  ahead_.reset();
  source_.reset();
  driveChar_ = static_cast<char>(std::toupper(static_cast<unsigned char>(drive)));
  // Letters name volumes, which have no mapping here; the table only knows digits.
  int error = 0;
  source_ = openDriveSource(driveChar_, &error);
  lastError_ = source_ ? 0 : error;
  costs_ = streak_ = run_ = aheadFailure_ = ReadCosts{};
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
  settleAhead();  // the source is read from one thread at a time
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

bool PhysicalDrive::readAhead(int64_t sector, int count) {
  constexpr int64_t kLastAddressable = std::numeric_limits<int64_t>::max() / kSectorSize;
  if (!isOpen() || !source_->readsAhead() || aheadUnderWay() || sector < 0 || count < 1 ||
      count > kLargestAheadBytes / kSectorSize || sector > kLastAddressable - count)
    return false;
  if (!ahead_) ahead_ = std::make_unique<AheadRead>(*source_);
  return ahead_->begin(sector * kSectorSize, int64_t{count} * kSectorSize);
}

// Takes the request under way as the one held, and counts what it cost.
void PhysicalDrive::settleAhead() {
  if (!aheadUnderWay()) return;
  ahead_->settle();
  const AheadRead::Done& done = *ahead_->held();
  addRead(costs_, done.millis, done.error != 0);
  if (done.error == 0) {
    addRead(streak_, done.millis, false);
    aheadFailure_ = {};
  } else {
    aheadFailure_ = {};
    addRead(aheadFailure_, done.millis, true);
  }
}

PhysicalDrive::Ahead PhysicalDrive::takeAhead(int64_t sector, int count, uint8_t* buffer) {
  if (!ahead_ || count < 1 || sector < 0) return Ahead::NotHeld;
  const int64_t offset = sector * kSectorSize, size = int64_t{count} * kSectorSize;
  const auto covers = [&](int64_t first, int64_t bytes) {
    return first <= offset && offset + size <= first + bytes;
  };
  const AheadRead::Done* held = ahead_->held();
  if (!held || !covers(held->offset, held->size)) {
    if (!aheadUnderWay()) return Ahead::NotHeld;
    settleAhead();
    held = ahead_->held();
    if (!covers(held->offset, held->size)) return Ahead::NotHeld;
  }
  if (held->error != 0) {
    lastError_ = held->error;
    return Ahead::Failed;
  }
  std::memcpy(buffer, held->bytes + (offset - held->offset), static_cast<size_t>(size));
  lastError_ = 0;
  return Ahead::Copied;
}

void PhysicalDrive::chargeAheadFailure() {
  streak_ += std::exchange(aheadFailure_, ReadCosts{});
}

void PhysicalDrive::adviseSequential(int64_t sector, int64_t count) {
  constexpr int64_t kLastAddressable = std::numeric_limits<int64_t>::max() / kSectorSize;
  if (!isOpen() || sector < 0 || count < 1 || sector > kLastAddressable - count) return;
  source_->adviseSequential(sector * kSectorSize, count * kSectorSize);
}

}  // namespace korvelo
