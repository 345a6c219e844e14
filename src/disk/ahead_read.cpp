// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/ahead_read.h"

#include <chrono>
#include <cstdlib>
#include <utility>

#include "disk/pending_read.h"
#include "disk/physical_drive.h"

namespace korvelo {

// Aligned to a page, so that a source reading past the cache can read straight into it.
struct AheadBuffer {
  struct FreeDeleter {
    void operator()(uint8_t* block) const { std::free(block); }
  };
  std::unique_ptr<uint8_t, FreeDeleter> bytes{
      static_cast<uint8_t*>(std::aligned_alloc(4096, static_cast<size_t>(kLargestAheadBytes)))};
};

AheadRead::AheadRead(ByteSource& source) : source_(source) {}

AheadRead::~AheadRead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool AheadRead::begin(int64_t offset, int64_t size) {
  if (inFlight_ || size < 1 || size > kLargestAheadBytes || offset < 0) return false;
  const int slot = reading_;  // never the buffer held
  if (!buffers_[slot]) buffers_[slot] = std::make_unique<AheadBuffer>();
  if (!buffers_[slot]->bytes) return false;
  reading_ = slot;
  if (!thread_.joinable()) thread_ = std::thread([this] { serve(); });
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    request_ = Done{offset, size, 0, 0, buffers_[slot]->bytes.get()};
    asked_ = true;
    answered_ = false;
  }
  changed_.notify_all();
  inFlight_ = true;
  return true;
}

void AheadRead::settle() {
  if (!inFlight_) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return answered_; });
  held_ = request_;
  answered_ = false;
  inFlight_ = false;
  reading_ = 1 - reading_;  // the next request goes into the other buffer
}

void AheadRead::serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return asked_ || stopping_; });
    if (stopping_) return;
    asked_ = false;
    const Done asked = request_;
    lock.unlock();
    const Done answer = readOne(asked.offset, asked.size, const_cast<uint8_t*>(asked.bytes));
    lock.lock();
    request_ = answer;
    answered_ = true;
    changed_.notify_all();
  }
}

// The read as the drive does its own: retried when interrupted, continued after a short
// part, and failed where the medium ends before the last byte asked for.
AheadRead::Done AheadRead::readOne(int64_t offset, int64_t size, uint8_t* into) {
  const PendingReadMark waiting(offset / kSectorSize, static_cast<int>(size / kSectorSize));
  const auto start = std::chrono::steady_clock::now();
  Done done{offset, size, 0, 0, into};
  int64_t got = 0;
  while (got < size) {
    const int64_t part = source_.readAt(
        offset + got, std::span<uint8_t>(into + got, static_cast<size_t>(size - got)));
    if (part == -EINTR) continue;
    if (part <= 0) {
      done.error = part < 0 ? static_cast<int>(-part) : kReadPastEndError;
      break;
    }
    got += part;
  }
  done.millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count();
  return done;
}

}  // namespace korvelo
