// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/rescue_disk.h"

#include <cstring>

#include "disk/text.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

constexpr int kTitleOffset = 4;
constexpr int kLengthOffset = 148;

void putBigEndian16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

void putBigEndian32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

void fillRescuedEntry(const RescuedRecording& recording, DirectoryEntry& entry) {
  uint8_t* image = entry.getData();
  std::memset(image, 0, static_cast<size_t>(entry.getSize()));
  putBigEndian16(image, static_cast<uint16_t>(recording.id));
  const std::string title = textf("Gerettet %d", recording.id);
  std::memcpy(image + kTitleOffset, title.data(), title.size());  // at most 14 bytes
  putBigEndian32(image + kLengthOffset, recording.lengthInSectors());
}

RescueDisk::RescueDisk(const Fsr5000Disk& original, std::vector<RescuedRecording> recordings)
    : Fsr5000Disk(original.getDriveChar(), original.layout()) {
  fileFatSize = original.heldFileFatSize();
  directoryRead = true;
  for (RescuedRecording& recording : recordings) {
    if (recording.id < 0 || recording.id > 0xFFFF || byId_.count(recording.id) > 0) continue;
    auto entry = std::make_unique<DirectoryEntry>();
    fillRescuedEntry(recording, *entry);
    entries.push_back(std::move(entry));
    byId_.emplace(recording.id, std::move(recording));
  }
}

RescueDisk::~RescueDisk() = default;

bool RescueDisk::readDirectory(bool /*force*/) {
  return true;
}

int64_t RescueDisk::getSectorNumberOfHojin(int entryNumber, int hojinNumber) {
  clearStatus();
  const auto found = byId_.find(entryNumber);
  if (found == byId_.end()) return -1;
  return found->second.sectorOfHojin(hojinNumber);
}

const DirectoryEntry* RescueDisk::entryFor(int id) const {
  for (const auto& entry : entries)
    if (entry->getEntryNumber() == id) return entry.get();
  return nullptr;
}

const RescuedRecording* RescueDisk::recordingFor(int id) const {
  const auto found = byId_.find(id);
  return found == byId_.end() ? nullptr : &found->second;
}

}  // namespace korvelo
