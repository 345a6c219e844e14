// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two check sums of a ".hav" file: SHA-256 of the whole file and of its HOJIN data
// (what follows head and entry image), taken from its bytes in file order.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "export/sha256.h"

namespace korvelo {

struct HavDigests {
  bool readable = false;  // false: the sums could not be taken (the file was not readable)
  int64_t fileBytes = 0;
  std::string file;
  std::string hojinData;
};

// Both sums over bytes given in file order, on the caller's thread.
class HavDigestPair {
 public:
  void add(std::span<const uint8_t> bytes);
  // Ends both sums: call once.
  HavDigests finish();
  int64_t bytesAdded() const { return position_; }

 private:
  Sha256 file_;
  Sha256 hojinData_;
  int64_t position_ = 0;
};

// Both sums over the bytes a file is written with, taken on a thread of its own while the
// copy goes on, so that a long export does not wait for two hashes of every byte. The
// bytes are copied into a few slots of 1 MiB; add() waits only when all are still being hashed.
class HavDigester {
 public:
  HavDigester() = default;
  ~HavDigester();  // stops the thread; the sums are lost
  HavDigester(const HavDigester&) = delete;
  HavDigester& operator=(const HavDigester&) = delete;

  void add(std::span<const uint8_t> bytes);
  // Waits until every byte added is hashed and ends both sums: call once.
  HavDigests finish();
  int64_t bytesAdded() const { return bytesAdded_; }

 private:
  struct Slot {
    std::unique_ptr<uint8_t[]> bytes;
    size_t used = 0;
  };
  void start();
  void handOver();  // the slot being filled goes to the thread
  void hashSlots();

  std::vector<Slot> slots_;
  int filling_ = -1;  // the slot add() copies into; -1: none taken yet
  int64_t bytesAdded_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<int> full_;
  std::deque<int> free_;
  bool ending_ = false;
  std::thread worker_;
  HavDigestPair sums_;  // the worker's until it has ended
};

// The sums of an existing file, read front to back; readable is false when it cannot be read.
HavDigests digestHavFile(const std::string& path);

}  // namespace korvelo
