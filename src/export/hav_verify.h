// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checks a written ".hav" file on its own (the 88-byte head against the entry image that
// follows it, the length, the head of every HOJIN) and, when the disk is at hand, every
// HOJIN byte for byte against the disk. Findings are German lines for the user.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "export/hav_digests.h"
#include "recfs/fsr5000_disk.h"

namespace korvelo {

struct HavCheck {
  bool readable = false;  // the file could be opened and holds head and entry image
  int64_t fileBytes = 0;
  int64_t expectedBytes = 0;  // 1624 + length in sectors x 512
  int entryNumber = -1;
  std::string title;  // raw bytes of the entry's title
  uint32_t hojins = 0;
  int hojinsInFile = 0;     // whole HOJINs the file holds
  int badHojinHeads = 0;    // HOJINs whose head fails a test
  int differingHojins = 0;  // HOJINs unlike the disk's (or unreadable there)
  std::vector<std::string> problems;
  HavDigests digests;

  bool good() const { return readable && problems.empty(); }
};

// The file alone.
HavCheck checkHavFile(const std::string& path);

// Also compares the file with the recording on the disk: the entry with the same entry
// number must carry the same image, and every HOJIN and the remainder the same bytes.
// `disk` has read its directory and settled its File-FAT-Size. A `stop` that becomes true
// ends the comparison before the next HOJIN, with a finding that says so.
void compareHavWithDisk(const std::string& path, Fsr5000Disk& disk, HavCheck& check,
                        const std::atomic<bool>* stop = nullptr);

}  // namespace korvelo
