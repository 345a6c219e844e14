// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive read the program waits for at this moment, so that a window on another thread
// can tell the user what it waits for when a failing disk keeps one read for many seconds
// (the kernel's retries; such a read cannot be interrupted). Every sector read of a drive
// is marked for the time it takes; one read at a time is watched (the last one begun).

#include <cstdint>
#include <optional>

namespace korvelo {

struct PendingRead {
  int64_t sector = 0;     // the first sector asked for
  int count = 0;          // sectors asked for
  int64_t startedMs = 0;  // on pendingReadClock()
};

// The read in progress, if any; safe to call from any thread.
std::optional<PendingRead> pendingRead();

// Milliseconds on the monotonic clock the marks are taken on.
int64_t pendingReadClock();

// Marks a read as in progress for the scope's life.
class PendingReadMark {
 public:
  PendingReadMark(int64_t sector, int count);
  ~PendingReadMark();
  PendingReadMark(const PendingReadMark&) = delete;
  PendingReadMark& operator=(const PendingReadMark&) = delete;

 private:
  uint64_t serial_;  // clears only its own mark, not one begun after it on another thread
};

}  // namespace korvelo
