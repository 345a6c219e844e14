// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/disk_domain.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "disk/physical_drive.h"
#include "disk/text.h"
#include "recfs/disk_layout.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

// The test of the File-FAT-Size looks at the first HOJINs of this many list positions.
constexpr int kVerifiedPositions = 16;

void addFileFat(SectorRanges& sectors, const DiskLayout& layout, int fileFatSize, int entryNumber) {
  if (entryNumber < 0 || entryNumber > kMaxEntryNumber) return;  // never read for such numbers
  if (const auto first = layout.fileFatSector(entryNumber, fileFatSize))
    sectors.add(*first, fileFatSize);
}

// The start-up reads that do not depend on the File-FAT-Size.
int addDirectoryReads(Fsr5000Disk& disk, SectorRanges& sectors) {
  const DiskLayout& layout = disk.layout();
  sectors.add(kSignatureFirstSector, kSignatureSectorCount);
  sectors.add(kFileSystemSector, 1);
  sectors.add(layout.directoryHead, 1);
  const int announced = disk.getNumberOfEntries();
  const int slots = std::clamp(announced, 0, kSlotCount);
  for (int slot = 0; slot < slots; ++slot)
    sectors.add(layout.firstSlot + int64_t{kSlotSectors} * slot, kEntryImageSectors);
  return slots;
}

// Every sector the copy of one recording reads; false when a HOJIN cannot be located.
bool addRecording(Fsr5000Disk& disk, const DirectoryEntry& entry, SectorRanges& sectors) {
  const int entryNumber = entry.getEntryNumber();
  addFileFat(sectors, disk.layout(), disk.heldFileFatSize(), entryNumber);
  const auto hojins = static_cast<int>(entry.getNumberOfHojins());
  const int remainder = static_cast<int>(entry.getLengthInSectors() % kSectorsPerHojin);
  const int last = remainder > 0 ? hojins + 1 : hojins;
  for (int k = 1; k <= last; ++k) {
    const int64_t sector = disk.getSectorNumberOfHojin(entryNumber, k);
    if (sector < 0) return false;
    sectors.add(sector, k <= hojins ? kSectorsPerHojin : remainder);
  }
  return true;
}

}  // namespace

void SectorRanges::add(int64_t first, int64_t count) {
  if (first < 0 || count <= 0) return;
  int64_t begin = first;
  int64_t end = first + count;
  auto next = ranges_.upper_bound(begin);
  if (next != ranges_.begin()) {
    auto previous = std::prev(next);
    if (previous->second >= begin) {  // overlaps or touches the range before
      begin = previous->first;
      end = std::max(end, previous->second);
      next = ranges_.erase(previous);
    }
  }
  while (next != ranges_.end() && next->first <= end) {
    end = std::max(end, next->second);
    next = ranges_.erase(next);
  }
  ranges_.emplace(begin, end);
}

void SectorRanges::clipTo(int64_t endSector) {
  auto range = ranges_.lower_bound(endSector);
  ranges_.erase(range, ranges_.end());
  if (!ranges_.empty() && std::prev(ranges_.end())->second > endSector)
    std::prev(ranges_.end())->second = endSector;
}

int64_t SectorRanges::sectorCount() const {
  int64_t count = 0;
  for (const auto& [first, end] : ranges_) count += end - first;
  return count;
}

bool SectorRanges::contains(int64_t sector) const {
  auto range = ranges_.upper_bound(sector);
  if (range == ranges_.begin()) return false;
  return sector < std::prev(range)->second;
}

DiskDomain computeDiskDomain(Fsr5000Disk& disk, const DomainOptions& options) {
  DiskDomain domain;
  domain.visitedSlots = addDirectoryReads(disk, domain.sectors);
  domain.fileFatSize = disk.heldFileFatSize();
  const int size = domain.fileFatSize;
  if (size > 0) {
    const DiskLayout& layout = disk.layout();
    domain.sectors.add(layout.dataAreaStart(size), 1);  // the probe reads the A-sector only
    const auto& entries = disk.getEntries();
    const int verified = std::min(static_cast<int>(entries.size()), kVerifiedPositions);
    for (int position = 0; position < verified; ++position) {
      addFileFat(domain.sectors, layout, size, position);  // the test passes list positions
      if (!options.verificationHojins) continue;
      const int64_t first = disk.getSectorNumberOfHojin(position, 1);
      if (first >= 0) domain.sectors.add(first, 1);  // so does the test
    }
    if (options.allFileFats)
      for (const auto& entry : entries)
        addFileFat(domain.sectors, layout, size, entry->getEntryNumber());
    for (const DirectoryEntry* entry : options.recordings)
      if (!addRecording(disk, *entry, domain.sectors))
        domain.unlocatedEntries.push_back(entry->getEntryNumber());
  }
  clearStatus();  // the HOJIN location's trace lines are of no use to the caller
  return domain;
}

std::string domainMapfileText(const SectorRanges& sectors, int64_t diskBytes,
                              const std::string& commentLines) {
  std::string text = commentLines;
  text += "# current_pos  current_status  current_pass\n";
  text += "0x00000000     +     1\n";
  text += "#      pos        size  status\n";
  auto block = [&text](int64_t begin, int64_t end, char status) {
    if (end > begin)
      text += textf("0x%08llX  0x%08llX  %c\n", static_cast<unsigned long long>(begin),
                    static_cast<unsigned long long>(end - begin), status);
  };
  int64_t position = 0;
  constexpr int64_t kLastSector = std::numeric_limits<int64_t>::max() / kSectorSize;
  for (const auto& [first, end] : sectors.ranges()) {
    if (first >= kLastSector) break;
    const int64_t begin = first * kSectorSize;
    int64_t stop = std::min(end, kLastSector) * kSectorSize;
    if (diskBytes >= 0) stop = std::min(stop, diskBytes);
    if (begin >= stop) break;
    block(position, begin, '?');
    block(begin, stop, '+');
    position = stop;
  }
  block(position, diskBytes, '?');
  return text;
}

}  // namespace korvelo
