// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why a recording's file FAT may hand over bytes that are not the recording's alone: it
// names blocks that another recording's file FAT names too, more blocks than the length
// needs, or blocks that begin beyond the disk's end. The heads of the HOJINs copied from
// there may still look right, so a file copied by such a file FAT is written, but never
// counts as complete. The check reports the same facts of the ownership as its findings.

#include <map>
#include <string>

#include "recfs/block_ownership.h"

namespace korvelo {

// "1 Block", "2 Blöcke".
std::string countedBlocks(int64_t count);

// The reasons to doubt recording `index` of the ownership, joined by "; ", as German words
// for the end of a sentence: "Block 0 gehört auch Eintrag 0; die File-FAT nennt ...". Empty
// when there are none. Call on an ownership that holds every recording.
std::string fileFatDoubt(const BlockOwnership& ownership, size_t index);

// The recordings of the ownership that are in doubt, with the reasons.
std::map<const DirectoryEntry*, std::string> fileFatDoubts(const BlockOwnership& ownership);

}  // namespace korvelo
