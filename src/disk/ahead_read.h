// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One large read of a drive under way on a thread of its own while the caller writes and
// hashes what the read before it gave: a disk behind a USB adapter pays a command's
// overhead, and a lost rotation when the next command comes late, for every request, so
// the bytes of a recording are asked for in few large requests, the next already asked.
// The thread is started with the first request and lives as long as the reader.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "disk/byte_source.h"

namespace korvelo {

// The largest request: 1 MiB, what disks and adapters take as one command.
inline constexpr int64_t kLargestAheadBytes = int64_t{1} << 20;

struct AheadBuffer;

class AheadRead {
 public:
  // What one request gave; `bytes` valid only when error == 0.
  struct Done {
    int64_t offset = 0;
    int64_t size = 0;
    int error = 0;  // errno of a failed read (kReadPastEnd style codes as the drive gives them)
    int64_t millis = 0;
    const uint8_t* bytes = nullptr;
  };

  explicit AheadRead(ByteSource& source);
  ~AheadRead();  // waits for the read under way
  AheadRead(const AheadRead&) = delete;
  AheadRead& operator=(const AheadRead&) = delete;

  // Asks for size bytes (1 ... kLargestAheadBytes) at offset. Preconditions: no request
  // under way (inFlight() false). False when no memory could be had for it.
  bool begin(int64_t offset, int64_t size);
  bool inFlight() const { return inFlight_; }
  // Waits for the request under way and makes it the one held; the one held before is
  // dropped. Nothing happens when none is under way.
  void settle();
  // The request held (null when none): its bytes stay until the next settle.
  const Done* held() const { return held_.size > 0 ? &held_ : nullptr; }

 private:
  void serve();
  Done readOne(int64_t offset, int64_t size, uint8_t* into);

  ByteSource& source_;
  std::unique_ptr<AheadBuffer> buffers_[2];  // one held, one being read
  int reading_ = 0;                          // index of the buffer the thread reads into
  Done held_;
  bool inFlight_ = false;  // a request was begun and not settled (the caller's view)

  std::mutex mutex_;
  std::condition_variable changed_;
  bool asked_ = false;     // under mutex_: a request waits for the thread
  bool answered_ = false;  // under mutex_: the thread has finished it
  bool stopping_ = false;  // under mutex_
  Done request_;           // under mutex_: the request, then its answer
  std::thread thread_;
};

}  // namespace korvelo
