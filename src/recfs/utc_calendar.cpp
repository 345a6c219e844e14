// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/utc_calendar.h"

#include <chrono>

namespace korvelo {

UtcFields breakDownUtc(int64_t secondsSince1970) {
  using namespace std::chrono;
  const sys_seconds instant{seconds{secondsSince1970}};
  const sys_days day = floor<days>(instant);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{instant - day};
  UtcFields fields;
  fields.year = static_cast<int>(date.year());
  fields.month = static_cast<int>(static_cast<unsigned>(date.month()));
  fields.day = static_cast<int>(static_cast<unsigned>(date.day()));
  fields.hour = static_cast<int>(time.hours().count());
  fields.minute = static_cast<int>(time.minutes().count());
  fields.second = static_cast<int>(time.seconds().count());
  fields.weekday = static_cast<int>(weekday{day}.iso_encoding());  // 1 = Monday ... 7 = Sunday
  return fields;
}

}  // namespace korvelo
