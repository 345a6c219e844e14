// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the recorder's directory of recordings: the head with the announced count
// and up to 2000 slots of 32 sectors, of which the first three form the entry image.

#include <cinttypes>
#include <new>

#include "disk/text.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

bool isEmptySlot(const uint8_t* image) {
  return image[0] == 0xFF && image[1] == 0xFF;
}

std::string unreadableSlotLine(int64_t sector) {
  // The decimal is followed by a literal "l", as the recorder tools have always shown it.
  return textf("  Konnte Sektor %" PRIu64 "l (0x%08" PRIX64 ") nicht lesen.",
               static_cast<uint64_t>(sector), static_cast<uint64_t>(sector));
}

}  // namespace

int Fsr5000Disk::getNumberOfEntries() {
  const std::unique_ptr<uint8_t[]> head = drive.readSector(layout_.directoryHead, 1);
  if (!head) return -1;
  return (head[0] << 8) | head[1];
}

// An unreadable slot is reported and passed over: the recordings in the slots after it
// are listed all the same. The walk then counts as done (directoryRead), so that nothing
// reads the failing sectors again, and its result stays false for every later call.
bool Fsr5000Disk::readDirectory(bool force) {
  if (!force && directoryRead) return unreadableSlots_ == 0;
  // A read after a failed one, or a forced one, starts from an empty list, so that
  // no recording is ever listed twice.
  entries.clear();
  unreadableSlots_ = 0;
  int remaining = getNumberOfEntries();
  setStatus("Lese HAV-Verzeichnis...");
  bool walked = true;
  for (int64_t sector = layout_.firstSlot; remaining > 0 && sector <= layout_.lastSlot;
       sector += kSlotSectors) {
    const std::unique_ptr<uint8_t[]> image = drive.readSector(sector, kEntryImageSectors);
    --remaining;
    if (!image && drive.answersNoMore()) {
      // A drive that went away would fail every slot after this one in turn.
      walked = false;
      break;
    }
    if (!image) {
      addStatusLine(unreadableSlotLine(sector));
      ++unreadableSlots_;
      continue;
    }
    if (isEmptySlot(image.get())) continue;
    std::unique_ptr<DirectoryEntry> entry;
    try {
      entry = std::make_unique<DirectoryEntry>();
    } catch (const std::bad_alloc&) {
      addStatusLine("  Konnte kein neues Sector-Objekt erzeugen.");
      walked = false;
      break;
    }
    entry->copyFrom(image.get());
    entry->setSector(sector);
    entries.push_back(std::move(entry));
  }
  directoryRead = walked;
  return walked && unreadableSlots_ == 0;
}

}  // namespace korvelo
