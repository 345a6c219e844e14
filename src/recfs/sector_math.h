// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sector numbers computed from disk fields and settings go through these, so that a
// hostile directory or an absurd manual File-FAT-Size yields "none" instead of a
// wrapped number that points somewhere else on the disk.

#include <cstdint>
#include <optional>

namespace korvelo {

inline std::optional<int64_t> checkedAdd(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
  return sum;
}

inline std::optional<int64_t> checkedMul(int64_t a, int64_t b) {
  int64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

// base + factor x count, or nothing when any step overflows.
inline std::optional<int64_t> checkedOffset(int64_t base, int64_t factor, int64_t count) {
  const auto scaled = checkedMul(factor, count);
  if (!scaled) return std::nullopt;
  return checkedAdd(base, *scaled);
}

}  // namespace korvelo
