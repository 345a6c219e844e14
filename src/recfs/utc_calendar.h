// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Breaks seconds since 1970-01-01 00:00 UTC down into calendar fields with <chrono>, not
// the C library's gmtime, so every signed 32-bit count (1901 ... 2038) has a result.

#include <cstdint>

namespace korvelo {

struct UtcFields {
  int year = 1970, month = 1, day = 1;  // month 1 ... 12, day 1 ... 31
  int hour = 0, minute = 0, second = 0;
  int weekday = 4;  // 1 = Monday ... 7 = Sunday
};

// Proleptic Gregorian calendar; valid for years -32767 ... 32767 (std::chrono::year).
UtcFields breakDownUtc(int64_t secondsSince1970);

}  // namespace korvelo
