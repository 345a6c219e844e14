// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SHA-256 over bytes given in pieces, for the check sums written beside exported files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace korvelo {

class Sha256 {
 public:
  void update(std::span<const uint8_t> bytes);
  // The same as first.update(firstBytes) and second.update(secondBytes), the two hashes
  // computed side by side (nearly twice as fast with the processor's SHA instructions).
  static void updateBoth(Sha256& first, std::span<const uint8_t> firstBytes, Sha256& second,
                         std::span<const uint8_t> secondBytes);
  // The digest as 64 lower-case hex digits. Ends the hash: call once.
  std::string hexDigest();

 private:
  void compressBlocks(const uint8_t* data, size_t count);  // whole 64-byte blocks
  // Fills the waiting part block from the front of `bytes`; the bytes taken.
  size_t completeBlock(std::span<const uint8_t> bytes);
  static void compressPairs(Sha256& first, const uint8_t* a, Sha256& second, const uint8_t* b,
                            size_t count);

  std::array<uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 64> block_{};
  size_t blockUsed_ = 0;
  uint64_t totalBytes_ = 0;
};

}  // namespace korvelo
