// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskbuilder/layout.h"

#include <algorithm>
#include <vector>

namespace korvelo::sample {

namespace {

constexpr int64_t kFsrDirectoryHead = 6598688;
constexpr int64_t kFsrFirstSlot = 6598704;
constexpr int64_t kFsrFatAreaStart = 6662704;
constexpr int64_t kTevionShift = 6291456;

// splitmix64: a good spread of bits for a few operations.
uint64_t mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

}  // namespace

int64_t layoutShift(Model model) {
  return model == Model::Tevion ? kTevionShift : 0;
}

int64_t directoryHeadSector(Model model) {
  return kFsrDirectoryHead - layoutShift(model);
}

int64_t slotSector(Model model, int slot) {
  return kFsrFirstSlot - layoutShift(model) + int64_t{kSectorsPerSlot} * slot;
}

int64_t fatAreaStart(Model model) {
  return kFsrFatAreaStart - layoutShift(model);
}

int64_t fileFatSector(Model model, int fileFatSize, int entryNumber) {
  return fatAreaStart(model) + (int64_t{entryNumber} + 1) * fileFatSize;
}

int64_t dataAreaStart(Model model, int fileFatSize) {
  return fatAreaStart(model) + int64_t{kFatRegions} * fileFatSize;
}

int64_t absoluteHojinSector(Model model, int fileFatSize, int64_t absoluteHojin) {
  return dataAreaStart(model, fileFatSize) + kSectorsPerHojin * absoluteHojin;
}

int64_t blockSector(Model model, int fileFatSize, int64_t block) {
  return dataAreaStart(model, fileFatSize) + kSectorsPerBlock * block;
}

int64_t hojinSector(const DiskDescription& disk, const Recording& recording, int k) {
  if (k < 1) return -1;
  std::vector<uint32_t> blocks = recording.blocks;
  std::sort(blocks.begin(), blocks.end());
  const size_t ordinal = static_cast<size_t>(k - 1) / kHojinsPerBlock;
  if (ordinal >= blocks.size()) return -1;
  const int64_t absolute = int64_t{kHojinsPerBlock} * blocks[ordinal] + (k - 1) % kHojinsPerBlock;
  return absoluteHojinSector(disk.model, disk.fileFatSize, absolute);
}

uint32_t hojinCount(const Recording& recording) {
  return recording.lengthSectors / kSectorsPerHojin;
}

uint32_t writtenHojinCount(const Recording& recording) {
  return static_cast<uint32_t>((uint64_t{recording.lengthSectors} + kSectorsPerHojin - 1) /
                               kSectorsPerHojin);
}

void fillPayload(int64_t sector, uint8_t* sector512) {
  const uint64_t base = static_cast<uint64_t>(sector) * (kSectorBytes / 8);
  for (int word = 0; word < kSectorBytes / 8; ++word) {
    uint64_t value = mix(base + word);
    for (int i = 0; i < 8; ++i) {
      sector512[word * 8 + i] = static_cast<uint8_t>(value);
      value >>= 8;
    }
  }
}

}  // namespace korvelo::sample
