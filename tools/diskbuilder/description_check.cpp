// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskbuilder/description_check.h"

#include <set>
#include <stdexcept>
#include <string>

#include "diskbuilder/layout.h"

namespace korvelo::sample {

namespace {

[[noreturn]] void refuse(const std::string& why) {
  throw std::runtime_error("disk description: " + why);
}

std::string named(const Recording& recording) {
  return "recording in slot " + std::to_string(recording.slot);
}

void claimSlot(std::set<int>& used, int slot, const std::string& who) {
  if (slot < 0 || slot >= kSlotCount)
    refuse(who + ": slot " + std::to_string(slot) + " outside 0..1999");
  if (!used.insert(slot).second) refuse(who + ": slot " + std::to_string(slot) + " used twice");
}

void checkBlocks(const DiskDescription& disk, const Recording& recording,
                 std::set<uint32_t>& owned) {
  const uint64_t bitsInFat = uint64_t{static_cast<uint64_t>(disk.fileFatSize)} * kSectorBytes * 8;
  for (uint32_t block : recording.blocks) {
    if (block >= bitsInFat) {
      refuse(named(recording) + ": block " + std::to_string(block) +
             " has no bit in a file FAT of " + std::to_string(disk.fileFatSize) + " sectors");
    }
    if (!owned.insert(block).second) {
      refuse(named(recording) + ": block " + std::to_string(block) +
             " is listed twice or owned by another recording");
    }
  }
}

void checkDefects(const DiskDescription& disk, const Recording& recording) {
  for (const HojinDefect& defect : recording.defects) {
    const bool written = defect.hojin >= 1 &&
                         static_cast<uint32_t>(defect.hojin) <= writtenHojinCount(recording) &&
                         hojinSector(disk, recording, defect.hojin) >= 0;
    if (!written) {
      refuse(named(recording) + ": defect on HOJIN " + std::to_string(defect.hojin) +
             ", which the recording does not have");
    }
    if (defect.defect == HeadDefect::NotRecordingStart && defect.hojin != 1) {
      refuse(named(recording) + ": NotRecordingStart applies to HOJIN 1 only");
    }
  }
}

}  // namespace

void checkDescription(const DiskDescription& disk) {
  if (disk.fileFatSize < 1) refuse("fileFatSize must be at least 1");
  if (disk.announcedEntries < -1 || disk.announcedEntries > 65535) {
    refuse("announcedEntries must be -1 or 0..65535");
  }
  std::set<int> slots;
  std::set<uint32_t> owned;
  for (const Recording& recording : disk.recordings) {
    claimSlot(slots, recording.slot, named(recording));
    if (recording.writeFileFat && recording.entryNumber >= kFatRegions - 1) {
      refuse(named(recording) + ": entry number " + std::to_string(recording.entryNumber) +
             " has no file-FAT region (set writeFileFat false to list it anyway)");
    }
    checkBlocks(disk, recording, owned);
    checkDefects(disk, recording);
  }
  for (int slot : disk.emptySlots) claimSlot(slots, slot, "empty slot");
  if (disk.recordings.size() > 65535 && disk.announcedEntries == -1) {
    refuse("too many recordings for the directory head");
  }
}

}  // namespace korvelo::sample
