// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the command line should show and write for a described disk, worked out here
// from the description and the image alone, never through the program's own code.

#include <cstdint>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"

namespace korvelo::test {

std::string utf8FromLatin1(const std::string& latin1);
// 3328000 -> "3.328.000"
std::string grouped(uint64_t value);

// The list line: "%04d\t%s\t%s\t %s Bytes".
std::string expectedListLine(const sample::Recording& recording);
// "%02d %s.hav" (or "%s.hav") from the title, UTF-8, without : \ ? * /.
std::string expectedFileName(const sample::Recording& recording, bool withEntryNumber = true);

struct ExpectedStart {
  int year, month, day, hour, minute, weekday;  // weekday 1 = Monday ... 7 = Sunday
  std::string text() const;                     // "YYYY-MM-DD HH:MM"
  // "YYYY-MM-DDTHH:MM:00+01:00": that wall-clock time in the local zone (TZ), with its
  // offset then ("+00:00" in UTC).
  std::string iso() const;
  time_t localInstant() const;  // the same as seconds since 1970
};
// The stamp is the recording's end; the start lies its duration earlier.
ExpectedStart expectedStart(const sample::Recording& recording);

// Some HOJIN does not begin right after the one before it on the disk.
bool isFragmented(const sample::DiskDescription& disk, const sample::Recording& recording);

// The whole ".hav" file: the 88-byte head, the entry image and the recording's sectors
// read from the image at the places the file FAT gives.
std::vector<uint8_t> expectedHavFile(const std::string& imagePath,
                                     const sample::DiskDescription& disk,
                                     const sample::Recording& recording);

// Size, modification time and a hash over every data extent of a (sparse) file with its
// position: any write to the file changes it, and a 160 GB image is read in a moment.
std::string fileFingerprint(const std::string& path);

}  // namespace korvelo::test
