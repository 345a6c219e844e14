// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a recording's bytes lie in its ".hav" file: the front (head and entry image),
// then HOJIN k from kHavFrontBytes + 33280 (k - 1); the sectors after the last whole
// HOJIN lie where HOJIN N + 1 would begin. Every offset of an export is worked out here.

#include <algorithm>
#include <cstdint>

#include "export/hav_head.h"
#include "recfs/directory_entry.h"
#include "recfs/disk_layout.h"

namespace korvelo {

// The size of the whole file: front plus the recording's length in sectors x 512.
inline int64_t havFileBytes(const DirectoryEntry& entry) {
  return kHavFrontBytes + static_cast<int64_t>(entry.getSizeInBytes());
}

// The file offset at which HOJIN k (counted from 1) begins.
constexpr int64_t hojinFileOffset(int64_t k) {
  return kHavFrontBytes + (k - 1) * int64_t{kHojinBytes};
}

// The HOJIN (counted from 1) that holds the byte at `offset`; 0 for the front.
constexpr int64_t hojinAtFileOffset(int64_t offset) {
  return offset < kHavFrontBytes ? 0 : (offset - kHavFrontBytes) / kHojinBytes + 1;
}

// Whole HOJINs at the beginning of a file of `fileBytes`, at most the recording's own.
constexpr int wholeHojinsIn(int64_t fileBytes, int numberOfHojins) {
  if (fileBytes <= kHavFrontBytes) return 0;
  return static_cast<int>(
      std::min<int64_t>((fileBytes - kHavFrontBytes) / kHojinBytes, numberOfHojins));
}

}  // namespace korvelo
