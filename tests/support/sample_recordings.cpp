// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/sample_recordings.h"

#include <algorithm>
#include <string>

#include "diskbuilder/layout.h"
#include "diskbuilder/presets.h"

namespace korvelo::test {
namespace {

void putLittle(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

sample::Recording numberedRecording(int slot, std::vector<uint32_t> blocks, uint32_t sectors,
                                    uint32_t durationMs) {
  sample::Recording recording;
  recording.slot = slot;
  recording.entryNumber = static_cast<uint16_t>(slot);
  recording.title = "Aufnahme " + std::to_string(slot);
  recording.blocks = std::move(blocks);
  recording.lengthSectors = sectors;
  recording.durationMs = durationMs;
  return recording;
}

std::vector<uint8_t> handMadeHead(const sample::Recording& recording) {
  std::vector<uint8_t> head(88, 0);
  const uint64_t data = uint64_t{recording.lengthSectors} * 512;
  putLittle(head, 0, 113, 4);
  putLittle(head, 8, data + 1536, 8);
  putLittle(head, 16, 1536, 4);
  putLittle(head, 32, data, 8);
  const std::string title = recording.title.substr(0, recording.title.find('\0'));
  std::copy_n(title.begin(), std::min<size_t>(title.size(), 33), head.begin() + 46);
  putLittle(head, 80, recording.durationMs / 1000, 4);
  putLittle(head, 84, data / 1024, 4);
  return head;
}

bool hasWrongHead(const sample::Recording& recording) {
  for (const auto& [hojin, defect] : recording.defects)
    if (defect != sample::HeadDefect::None && defect != sample::HeadDefect::NotRecordingStart)
      return true;
  return false;
}

sample::DiskDescription crossLinkedDemoDisk() {
  sample::DiskDescription disk = sample::demoDisk();
  std::vector<uint8_t> fileFat(static_cast<size_t>(disk.fileFatSize) * 512, 0);
  for (const uint32_t block : disk.recordings.at(0).blocks)
    fileFat[block / 8] |= static_cast<uint8_t>(0x80 >> (block % 8));
  disk.rawSectors.emplace_back(sample::fileFatSector(disk.model, disk.fileFatSize, 1), fileFat);
  return disk;
}

}  // namespace korvelo::test
