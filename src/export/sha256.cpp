// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/sha256.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define KORVELO_SHA_EXTENSIONS 1
#endif

namespace korvelo {
namespace {

constexpr std::array<uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t rotateRight(uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

void compressPortable(std::array<uint32_t, 8>& state, const uint8_t* block) {
  std::array<uint32_t, 64> w{};
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t{block[4 * i]} << 24 | uint32_t{block[4 * i + 1]} << 16 |
           uint32_t{block[4 * i + 2]} << 8 | uint32_t{block[4 * i + 3]};
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::array<uint32_t, 8> v = state;
  for (int i = 0; i < 64; ++i) {
    const uint32_t s1 = rotateRight(v[4], 6) ^ rotateRight(v[4], 11) ^ rotateRight(v[4], 25);
    const uint32_t choose = (v[4] & v[5]) ^ (~v[4] & v[6]);
    const uint32_t t1 = v[7] + s1 + choose + kRoundConstants[i] + w[i];
    const uint32_t s0 = rotateRight(v[0], 2) ^ rotateRight(v[0], 13) ^ rotateRight(v[0], 22);
    const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
    v = {t1 + s0 + majority, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
  }
  for (int i = 0; i < 8; ++i) state[i] += v[i];
}

#ifdef KORVELO_SHA_EXTENSIONS
// The processor's SHA instructions hash several times faster than the portable rounds,
// which matters when every exported gigabyte is hashed twice.
bool hasShaExtensions() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3AndSse41 = (c & bit_SSSE3) && (c & bit_SSE4_1);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3AndSse41 && (b & bit_SHA);
}

#define KORVELO_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// One hash being compressed: its state in the order the SHA instructions want it, and
// the message words of the block in hand.
struct ShaLane {
  __m128i abef, cdgh, abefBefore, cdghBefore;
  __m128i w[4];
};

KORVELO_SHA_TARGET inline void loadLane(ShaLane& lane, const std::array<uint32_t, 8>& state) {
  const __m128i cdab =
      _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
  const __m128i efgh =
      _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
  lane.abef = _mm_alignr_epi8(cdab, efgh, 8);
  lane.cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
}

KORVELO_SHA_TARGET inline void storeLane(const ShaLane& lane, std::array<uint32_t, 8>& state) {
  const __m128i feba = _mm_shuffle_epi32(lane.abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(lane.cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

// Four rounds (step g of 16); the message words of step g + 1 are derived on the way.
KORVELO_SHA_TARGET __attribute__((always_inline)) inline void fourRounds(ShaLane& lane,
                                                                         const uint8_t* block,
                                                                         int g) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i* w = lane.w;
  if (g < 4)
    w[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * g)),
                            byteSwap);
  __m128i message = _mm_add_epi32(
      w[g % 4], _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * g])));
  lane.cdgh = _mm_sha256rnds2_epu32(lane.cdgh, lane.abef, message);
  if (g >= 3 && g <= 14) {
    __m128i& next = w[(g + 1) % 4];
    next = _mm_add_epi32(next, _mm_alignr_epi8(w[g % 4], w[(g + 3) % 4], 4));
    next = _mm_sha256msg2_epu32(next, w[g % 4]);
  }
  message = _mm_shuffle_epi32(message, 0x0E);
  lane.abef = _mm_sha256rnds2_epu32(lane.abef, lane.cdgh, message);
  if (g >= 1 && g <= 12) w[(g + 3) % 4] = _mm_sha256msg1_epu32(w[(g + 3) % 4], w[g % 4]);
}

KORVELO_SHA_TARGET inline void beginBlock(ShaLane& lane) {
  lane.abefBefore = lane.abef;
  lane.cdghBefore = lane.cdgh;
}

KORVELO_SHA_TARGET inline void endBlock(ShaLane& lane) {
  lane.abef = _mm_add_epi32(lane.abef, lane.abefBefore);
  lane.cdgh = _mm_add_epi32(lane.cdgh, lane.cdghBefore);
}

KORVELO_SHA_TARGET void compressWithShaExtensions(std::array<uint32_t, 8>& state,
                                                  const uint8_t* data, size_t count) {
  ShaLane lane;
  loadLane(lane, state);
  for (; count > 0; --count, data += 64) {
    beginBlock(lane);
    // Unrolled, w[] lives in registers; as a loop it goes through memory at half the speed.
#pragma GCC unroll 16
    for (int g = 0; g < 16; ++g) fourRounds(lane, data, g);
    endBlock(lane);
  }
  storeLane(lane, state);
}

// Two hashes side by side: each round waits for the one before it, so one hash leaves
// the SHA unit idle much of the time; a second, independent one fills those waits.
KORVELO_SHA_TARGET void compressTwoWithShaExtensions(std::array<uint32_t, 8>& stateA,
                                                     const uint8_t* a,
                                                     std::array<uint32_t, 8>& stateB,
                                                     const uint8_t* b, size_t count) {
  ShaLane laneA, laneB;
  loadLane(laneA, stateA);
  loadLane(laneB, stateB);
  for (; count > 0; --count, a += 64, b += 64) {
    beginBlock(laneA);
    beginBlock(laneB);
#pragma GCC unroll 16
    for (int g = 0; g < 16; ++g) {
      fourRounds(laneA, a, g);
      fourRounds(laneB, b, g);
    }
    endBlock(laneA);
    endBlock(laneB);
  }
  storeLane(laneA, stateA);
  storeLane(laneB, stateB);
}
#endif

}  // namespace

size_t Sha256::completeBlock(std::span<const uint8_t> bytes) {
  if (blockUsed_ == 0) return 0;
  const size_t take = std::min(bytes.size(), block_.size() - blockUsed_);
  std::memcpy(block_.data() + blockUsed_, bytes.data(), take);
  blockUsed_ += take;
  totalBytes_ += take;
  if (blockUsed_ == block_.size()) {
    compressBlocks(block_.data(), 1);
    blockUsed_ = 0;
  }
  return take;
}

void Sha256::update(std::span<const uint8_t> bytes) {
  size_t done = completeBlock(bytes);
  if (done == bytes.size()) return;
  // Whole blocks are hashed where they lie; only the rest waits in block_.
  const size_t wholeBlocks = (bytes.size() - done) / block_.size();
  compressBlocks(bytes.data() + done, wholeBlocks);
  done += wholeBlocks * block_.size();
  totalBytes_ += wholeBlocks * block_.size();
  std::memcpy(block_.data(), bytes.data() + done, bytes.size() - done);
  blockUsed_ = bytes.size() - done;
  totalBytes_ += blockUsed_;
}

void Sha256::updateBoth(Sha256& first, std::span<const uint8_t> firstBytes, Sha256& second,
                        std::span<const uint8_t> secondBytes) {
  const size_t firstDone = first.completeBlock(firstBytes);
  const size_t secondDone = second.completeBlock(secondBytes);
  const size_t blocks =
      std::min((firstBytes.size() - firstDone) / 64, (secondBytes.size() - secondDone) / 64);
  // The same number of whole blocks of each goes through the paired rounds; each hash's
  // rest (at most a block more, and what waits for the next piece) is taken on its own.
  compressPairs(first, firstBytes.data() + firstDone, second, secondBytes.data() + secondDone,
                blocks);
  first.totalBytes_ += blocks * 64;
  second.totalBytes_ += blocks * 64;
  first.update(firstBytes.subspan(firstDone + blocks * 64));
  second.update(secondBytes.subspan(secondDone + blocks * 64));
}

void Sha256::compressPairs(Sha256& first, const uint8_t* a, Sha256& second, const uint8_t* b,
                           size_t count) {
  if (count == 0) return;
#ifdef KORVELO_SHA_EXTENSIONS
  static const bool fast = hasShaExtensions();
  if (fast) {
    compressTwoWithShaExtensions(first.state_, a, second.state_, b, count);
    return;
  }
#endif
  first.compressBlocks(a, count);
  second.compressBlocks(b, count);
}

std::string Sha256::hexDigest() {
  const uint64_t totalBits = totalBytes_ * 8;
  block_[blockUsed_++] = 0x80;
  if (blockUsed_ > 56) {
    std::memset(block_.data() + blockUsed_, 0, block_.size() - blockUsed_);
    compressBlocks(block_.data(), 1);
    blockUsed_ = 0;
  }
  std::memset(block_.data() + blockUsed_, 0, 56 - blockUsed_);
  for (int i = 0; i < 8; ++i) block_[56 + i] = static_cast<uint8_t>(totalBits >> (56 - 8 * i));
  compressBlocks(block_.data(), 1);
  blockUsed_ = 0;
  std::string hex;
  char digits[9];
  for (uint32_t word : state_) {
    std::snprintf(digits, sizeof digits, "%08x", word);
    hex += digits;
  }
  return hex;
}

void Sha256::compressBlocks(const uint8_t* data, size_t count) {
  if (count == 0) return;
#ifdef KORVELO_SHA_EXTENSIONS
  static const bool fast = hasShaExtensions();
  if (fast) {
    compressWithShaExtensions(state_, data, count);
    return;
  }
#endif
  for (size_t i = 0; i < count; ++i) compressPortable(state_, data + 64 * i);
}

}  // namespace korvelo
