// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recorder-disk object's file FATs: the one loaded last, and those read ahead in one
// pass for a run of several recordings, each kept as the block numbers its HOJINs need.

#include <climits>
#include <map>
#include <optional>

#include "recfs/file_fat.h"
#include "recfs/fsr5000_disk.h"

namespace korvelo {

// A file FAT whose byte count does not fit an int cannot be traced as the trace
// lines show it, and would mean gigabytes per recording: it counts as unreadable.
inline constexpr int kLargestReadableFatSize = INT_MAX / kSectorSize;

struct Fsr5000Disk::FatCache {
  struct Loaded {
    int entryNumber = -1;
    int fileFatSize = 0;  // the F the file FAT was read with
    FileFat fat;
  };
  std::optional<Loaded> last;

  int aheadFileFatSize = 0;      // the F the file FATs read ahead were read with
  std::map<int, FileFat> ahead;  // by entry number

  bool holdsLast(int entry, int size) const {
    return last && last->entryNumber == entry && last->fileFatSize == size;
  }
  // The file FAT read ahead for the entry, when it tells where block `ordinal` lies.
  const FileFat* readAhead(int entry, int size, int64_t ordinal) const {
    if (size != aheadFileFatSize) return nullptr;
    const auto found = ahead.find(entry);
    return found != ahead.end() && found->second.answers(ordinal) ? &found->second : nullptr;
  }
};

}  // namespace korvelo
