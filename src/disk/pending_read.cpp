// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/pending_read.h"

#include <chrono>
#include <mutex>

namespace korvelo {
namespace {

// A mutex rather than loose atomics: sector, count and start belong together, and the cost
// (a few tens of nanoseconds per read of at least one sector) is nothing beside the read.
std::mutex watchMutex;
std::optional<PendingRead> current;
uint64_t currentSerial = 0;
uint64_t nextSerial = 0;

}  // namespace

int64_t pendingReadClock() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::optional<PendingRead> pendingRead() {
  const std::lock_guard<std::mutex> lock(watchMutex);
  return current;
}

PendingReadMark::PendingReadMark(int64_t sector, int count) {
  const int64_t now = pendingReadClock();
  const std::lock_guard<std::mutex> lock(watchMutex);
  serial_ = ++nextSerial;
  currentSerial = serial_;
  current = PendingRead{sector, count, now};
}

PendingReadMark::~PendingReadMark() {
  const std::lock_guard<std::mutex> lock(watchMutex);
  if (currentSerial == serial_) current.reset();
}

}  // namespace korvelo
