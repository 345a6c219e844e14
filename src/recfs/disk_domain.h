// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sectors of a recorder disk that matter for listing and copying chosen recordings:
// what the start-up sequence reads (signature, "file_system.sys", directory head and the
// visited slots, the File-FAT-Size probe and its test) and what the copy of each chosen
// recording reads (its file FAT, its HOJINs in file-FAT order and the sectors after the
// last whole HOJIN). A rescue tool restricted to these sectors reads as little as possible
// of a failing disk, and an image holding them serves the program as the disk did.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "recfs/directory_entry.h"
#include "recfs/fsr5000_disk.h"

namespace korvelo {

// Disjoint sector ranges, merged where they touch: first sector -> end (exclusive).
class SectorRanges {
 public:
  // Adds [first, first + count); ignores empty and negative ranges.
  void add(int64_t first, int64_t count);
  // Drops everything at and after `endSector` (a range crossing it is cut).
  void clipTo(int64_t endSector);

  const std::map<int64_t, int64_t>& ranges() const { return ranges_; }
  int64_t sectorCount() const;
  bool contains(int64_t sector) const;
  bool operator==(const SectorRanges&) const = default;

 private:
  std::map<int64_t, int64_t> ranges_;
};

// What the domain is to hold beyond the start-up reads (among them the A-sector of the
// first HOJIN of the data area, all that the probe for the File-FAT-Size reads of it).
struct DomainOptions {
  // The A-sectors of the first HOJINs that the test of the File-FAT-Size reads (of the
  // first 16 list positions; their file FATs are always in the domain).
  bool verificationHojins = true;
  // The file FAT of every listed recording, also of those not copied.
  bool allFileFats = false;
  // The recordings to copy in full; none for a domain of the directory alone.
  std::vector<const DirectoryEntry*> recordings;
};

struct DiskDomain {
  SectorRanges sectors;
  int fileFatSize = -1;
  int visitedSlots = 0;
  // Recordings whose HOJINs could not all be located (their file FAT unreadable or short).
  std::vector<int> unlocatedEntries;
};

// Reads the directory head and, for the recordings, their file FATs through `disk`, whose
// directory has been read and whose File-FAT-Size is settled (heldFileFatSize() > 0;
// otherwise only the start-up sectors without probe and file FATs are in the domain).
// Leaves the shared status text empty.
DiskDomain computeDiskDomain(Fsr5000Disk& disk, const DomainOptions& options);

// The domain as a rescue mapfile: the comment lines given (each to begin with '#'), the
// status line "0x00000000     +     1", then blocks in bytes covering the whole disk,
// the domain's sectors finished ('+'), everything else not tried ('?'). Positions and
// sizes in hexadecimal as "0x%08llX". diskBytes < 0: the blocks end with the last range.
std::string domainMapfileText(const SectorRanges& sectors, int64_t diskBytes,
                              const std::string& commentLines);

}  // namespace korvelo
