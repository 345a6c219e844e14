// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/directory_entry.h"

#include <algorithm>
#include <cstring>

#include "disk/text.h"
#include "recfs/disk_layout.h"
#include "recfs/utc_calendar.h"

namespace korvelo {

std::string startText(const StartTime& start) {
  return textf("%04d-%02d-%02d %02d:%02d", start.year, start.month, start.day, start.hour,
               start.minute);
}

std::optional<time_t> localStartTime(const StartTime& start) {
  struct tm fields {};
  fields.tm_year = start.year - 1900;
  fields.tm_mon = start.month - 1;
  fields.tm_mday = start.day;
  fields.tm_hour = start.hour;
  fields.tm_min = start.minute;
  fields.tm_sec = 0;
  fields.tm_isdst = -1;
  // -1 is also 1969-12-31 23:59:59 UTC, a time with second 59 that no start has.
  const time_t t = std::mktime(&fields);
  if (t == static_cast<time_t>(-1)) return std::nullopt;
  return t;
}

std::string startIso(const StartTime& start) {
  const std::optional<time_t> t = localStartTime(start);
  struct tm local {};
  if (!t || !localtime_r(&*t, &local))
    return textf("%04d-%02d-%02dT%02d:%02d:00", start.year, start.month, start.day, start.hour,
                 start.minute);
  // The local fields of the instant (a time that daylight saving skips is moved on, as
  // for the file date), with the offset that holds then.
  const long offset = local.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  return textf("%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900, local.tm_mon + 1,
               local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
               minutes / 60, minutes % 60);
}
namespace {

// Offsets in the entry image; every number is big-endian.
constexpr int kEntryNumberOffset = 0;
constexpr int kTitleOffset = 4;
constexpr int kTitleField = 36;  // the title ends where the stamp begins
constexpr int kStampDayOffset = 40;
constexpr int kStampHourOffset = 44;
constexpr int kStampMinuteOffset = 46;
constexpr int kLengthOffset = 148;
constexpr int kDurationOffset = 152;
constexpr int kSecondTextOffset = 180;

constexpr uint32_t kUnixEpochMjd = 40587;  // 1970-01-01 as a Modified Julian Day

// The bytes from `offset` up to the first NUL, at most `limit` of them.
std::string textField(const uint8_t* image, int offset, int limit) {
  const char* begin = reinterpret_cast<const char*>(image + offset);
  const char* end = std::find(begin, begin + limit, '\0');
  return std::string(begin, end);
}

}  // namespace

DirectoryEntry::DirectoryEntry() : SectorBuffer(kEntryImageBytes) {
  std::memset(getData(), 0, kEntryImageBytes);
}

bool DirectoryEntry::isBlank() const {
  const uint8_t* image = getData();
  for (int i = 0; i < getSize(); ++i)
    if (image[i] != 0) return false;
  return true;
}

uint16_t DirectoryEntry::getEntryNumber() const {
  return bigEndian16(kEntryNumberOffset);
}

std::string DirectoryEntry::getTitle() const {
  return textField(getData(), kTitleOffset, kTitleField);
}

std::string DirectoryEntry::getSecondText() const {
  return textField(getData(), kSecondTextOffset, kEntryImageBytes - kSecondTextOffset);
}

uint32_t DirectoryEntry::getLengthInSectors() const {
  return bigEndian32(kLengthOffset);
}

uint64_t DirectoryEntry::getSizeInBytes() const {
  return uint64_t{getLengthInSectors()} * 512u;
}

uint32_t DirectoryEntry::getNumberOfHojins() const {
  return getLengthInSectors() / kSectorsPerHojin;
}

uint32_t DirectoryEntry::getDurationMs() const {
  return bigEndian32(kDurationOffset);
}

// The recorder's stamp is taken modulo 2^32, as the recorder's own 32-bit clock
// arithmetic does; out-of-range days wrap instead of failing.
int32_t DirectoryEntry::getStampTime() const {
  const uint32_t day = bigEndian32(kStampDayOffset);
  const uint32_t hour = bigEndian16(kStampHourOffset);
  const uint32_t minute = bigEndian16(kStampMinuteOffset);
  const uint32_t seconds = ((day - kUnixEpochMjd) * 1440u + hour * 60u + minute) * 60u;
  return static_cast<int32_t>(seconds);
}

StartTime DirectoryEntry::getStartTime() const {
  // Same 32-bit wrap as the stamp, so the start always lies in 1901 ... 2038.
  const uint32_t wrapped = static_cast<uint32_t>(getStampTime()) - getDurationMs() / 1000u;
  const UtcFields utc = breakDownUtc(static_cast<int32_t>(wrapped));
  StartTime start;
  start.year = utc.year;
  start.month = utc.month;
  start.day = utc.day;
  start.hour = utc.hour;
  start.minute = utc.minute;
  start.weekday = utc.weekday;
  return start;
}

void DirectoryEntry::getStartTime(int& year, int& month, int& day, int& hour, int& minute,
                                  int& weekday) const {
  const StartTime start = getStartTime();
  year = start.year;
  month = start.month;
  day = start.day;
  hour = start.hour;
  minute = start.minute;
  weekday = start.weekday;
}

}  // namespace korvelo
