// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One recording: the 1536-byte entry image exactly as read from its directory slot,
// with accessors that decode the big-endian fields on each call.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "disk/sector_buffer.h"

namespace korvelo {

struct StartTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  int weekday = 0;  // 1 = Monday ... 7 = Sunday
};

// "YYYY-MM-DD HH:MM", as lists and logs show the start.
std::string startText(const StartTime& start);
// The start as an instant: the recorder's clock shows the wall-clock time of its own
// zone, taken as the local time of this machine's zone (TZ), whose calendar decides
// whether daylight saving applies; second 0. The same instant as the file date that
// --record-date sets. Nothing when it cannot be represented.
std::optional<time_t> localStartTime(const StartTime& start);
// That instant in ISO 8601 with the offset of the local zone for scripts,
// "2024-03-01T20:15:00+01:00" (in a zone without daylight saving and offset 0,
// "+00:00"); a start without a local time gives its own fields without an offset.
std::string startIso(const StartTime& start);

class DirectoryEntry : public SectorBuffer {
 public:
  DirectoryEntry();
  ~DirectoryEntry() override = default;

  uint16_t getEntryNumber() const;
  // The image is all zeros: a slot the directory head counts but no recording ever filled
  // (listed as the directory gives it, never saved as a recording).
  bool isBlank() const;
  std::string getTitle() const;       // raw Latin-1 bytes up to the first NUL (at most 36)
  std::string getSecondText() const;  // raw bytes from offset 180 up to the first NUL
  uint32_t getLengthInSectors() const;
  uint64_t getSizeInBytes() const;
  uint32_t getNumberOfHojins() const;
  uint32_t getDurationMs() const;
  int32_t getStampTime() const;  // seconds since 1970 (the recording's end)
  void getStartTime(int& year, int& month, int& day, int& hour, int& minute, int& weekday) const;
  StartTime getStartTime() const;
};

}  // namespace korvelo
