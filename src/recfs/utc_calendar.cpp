#include "recfs/utc_calendar.h"

namespace korvelo {
namespace {

int64_t floorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days since 1970-01-01 to year, month, day (Howard Hinnant's civil_from_days).
void civilFromDays(int64_t days, int& year, int& month, int& day) {
  const int64_t shifted = days + 719468;  // days since 0000-03-01
  const int64_t era = floorDiv(shifted, 146097);
  const int64_t dayOfEra = shifted - era * 146097;  // 0 ... 146096
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

UtcFields breakDownUtc(int64_t secondsSince1970) {
  UtcFields fields;
  const int64_t days = floorDiv(secondsSince1970, 86400);
  const int64_t secondOfDay = secondsSince1970 - days * 86400;
  civilFromDays(days, fields.year, fields.month, fields.day);
  fields.hour = static_cast<int>(secondOfDay / 3600);
  fields.minute = static_cast<int>(secondOfDay / 60 % 60);
  fields.second = static_cast<int>(secondOfDay % 60);
  // 1970-01-01 was a Thursday (4).
  const int64_t mondayBased = (days % 7 + 7 + 3) % 7;  // 0 = Monday
  fields.weekday = static_cast<int>(mondayBased + 1);
  return fields;
}

}  // namespace korvelo
