// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two check sums of a ".hav" file: SHA-256 of the whole file and of its HOJIN data
// (what follows head and entry image), taken from its bytes in file order.

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "export/sha256.h"

namespace korvelo {

// The SHA-256 of a file's first `bytes` bytes. Taken at every proof boundary while a file
// is hashed, so that a later resume can prove the part it keeps unchanged.
struct PrefixDigest {
  int64_t bytes = 0;
  std::string sha256;
  bool operator==(const PrefixDigest&) const = default;
};

// HOJINs between two proof boundaries: about 68 MB, a few dozen digests for the longest
// recording. Boundary i (from 1) lies where HOJIN 1 + i * kHojinsPerProof begins.
inline constexpr int kHojinsPerProof = 2048;
// The proof boundary after `offset` in a file (strictly greater).
int64_t nextProofBoundary(int64_t offset);

struct HavDigests {
  bool readable = false;  // false: the sums could not be taken (file not readable, hash failed)
  int64_t fileBytes = 0;
  std::string file;
  std::string hojinData;
  std::vector<PrefixDigest> prefixes;  // of the whole file, at each proof boundary it passed
};

// Both sums over bytes given in file order, on the caller's thread, or on the hashing
// threads of a HavDigester while it holds them.
class HavDigestPair {
 public:
  void add(std::span<const uint8_t> bytes);
  // Ends both sums: call once.
  HavDigests finish();
  int64_t bytesAdded() const { return position_; }

 private:
  friend class HavDigester;
  // One sum (0: the whole file, 1: its HOJIN data) over bytes from `position` in the file.
  void addTo(int sum, std::span<const uint8_t> bytes, int64_t position);

  Sha256 file_;
  Sha256 hojinData_;
  int64_t position_ = 0;
  std::vector<PrefixDigest> prefixes_;  // written only by the whole file's sum
};

// Two threads, one per sum, started once and kept for a whole run of files, so that a
// long export does not wait for two hashes of every byte: one hash alone keeps up with a
// copy from the page cache, two after each other would not. One file's sums at a time
// hold them (hold .. release); the bytes are copied into a few slots of 1 MiB that both
// threads read, and add() waits only when every slot is still being hashed by one of them.
class HavDigester {
 public:
  HavDigester() = default;
  ~HavDigester();  // stops the threads; call release() first
  HavDigester(const HavDigester&) = delete;
  HavDigester& operator=(const HavDigester&) = delete;

  // The bytes added from now on go on with `sums` (which must outlive the holding). False,
  // with nothing changed, while another file's sums hold the threads.
  bool hold(HavDigestPair& sums);
  void add(std::span<const uint8_t> bytes);
  // Waits until every byte added is hashed into the sums held; the threads are then free
  // for the next file.
  void release();

 private:
  struct Slot {
    std::unique_ptr<uint8_t[]> bytes;
    size_t used = 0;
    int64_t position = 0;  // of its first byte in the file
  };
  void start();
  void handOver();  // the slot being filled goes to the threads
  void hashSlots(int sum);

  static constexpr int kSums = 2;  // 0: the whole file, 1: its HOJIN data
  std::vector<Slot> slots_;
  HavDigestPair* sums_ = nullptr;  // the file's sums that hold the threads
  bool holding_ = false;           // add() holds slot handedOver_ % slots and fills it
  int64_t handedOver_ = 0;         // slots given to the threads so far, counted from the start
  std::array<int64_t, kSums> hashed_{};  // of those, the slots each sum has taken in
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ending_ = false;
  std::array<std::thread, kSums> workers_;
};

// The sums of an existing file, read front to back; readable is false when it cannot be read.
HavDigests digestHavFile(const std::string& path);
// The same through an open descriptor, read from its beginning whatever its position.
HavDigests digestHavFile(int descriptor);

}  // namespace korvelo
