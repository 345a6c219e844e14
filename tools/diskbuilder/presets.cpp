// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskbuilder/presets.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "diskbuilder/layout.h"

namespace korvelo::sample {

namespace {

std::vector<uint32_t> blockRange(uint32_t first, uint32_t count) {
  std::vector<uint32_t> blocks(count);
  for (uint32_t i = 0; i < count; ++i) blocks[i] = first + i;
  return blocks;
}

Recording makeRecording(int slot, std::string title, std::string secondText, uint32_t day,
                        uint16_t hour, uint16_t minute, uint32_t durationMs) {
  Recording recording;
  recording.slot = slot;
  recording.entryNumber = static_cast<uint16_t>(slot);
  recording.title = std::move(title);
  recording.secondText = std::move(secondText);
  recording.stampDay = day;
  recording.stampHour = hour;
  recording.stampMinute = minute;
  recording.durationMs = durationMs;
  return recording;
}

// A fixed sequence of pseudo-random numbers (xorshift32), so every build of a preset is the same.
class Dice {
 public:
  uint32_t roll(uint32_t sides) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_ % sides;
  }

 private:
  uint32_t state_ = 2463534242u;
};

// Whole HOJINs of each of `count` recordings, sharing `hojins`, weights 1, 2, 4, 8 or 16.
std::vector<uint64_t> mixedLengths(int count, uint64_t hojins, Dice& dice) {
  std::vector<uint64_t> weights(static_cast<size_t>(count));
  uint64_t total = 0;
  for (uint64_t& weight : weights) {
    weight = uint64_t{1} << dice.roll(5);
    total += weight;
  }
  std::vector<uint64_t> lengths;
  for (uint64_t weight : weights) lengths.push_back(std::max<uint64_t>(1, hojins * weight / total));
  return lengths;
}

}  // namespace

DiskDescription demoDisk() {
  DiskDescription disk;
  // 100 HOJINs in blocks 0..6; owning block 0 makes it the one the size probe finds.
  Recording tatort = makeRecording(0,
                                   "Tatort: Sch\xF6ne Gr\xFC\xDF"
                                   "e",
                                   "Das Erste", 54101, 20, 15, 5400000);
  tatort.lengthSectors = 6500;
  tatort.blocks = blockRange(0, 7);
  disk.recordings.push_back(tatort);

  Recording news = makeRecording(1, "Tagesschau", "Das Erste", 54102, 20, 15, 900000);
  news.lengthSectors = 15 * kSectorsPerHojin;
  news.blocks = {7};
  disk.recordings.push_back(news);

  // 40 HOJINs in three blocks far apart.
  Recording film = makeRecording(2,
                                 "Der gro\xDF"
                                 "e Bluff",
                                 "ZDF - Spielfilm", 54103, 22, 45, 6300000);
  film.lengthSectors = 40 * kSectorsPerHojin;
  film.blocks = {8, 20, 35};
  disk.recordings.push_back(film);

  // 50 whole HOJINs and 50 sectors more.
  Recording documentary =
      makeRecording(3, "Terra X: Fr\xFChe Kulturen", "ZDF", 54103, 19, 15, 2700000);
  documentary.lengthSectors = 50 * kSectorsPerHojin + 50;
  documentary.blocks = blockRange(9, 4);
  disk.recordings.push_back(documentary);

  // Started before midnight, stamped after it.
  Recording sport = makeRecording(4, "Sportschau: Bundesliga am Sonntag",
                                  "ARD - Sport \xB7 Fu\xDF"
                                  "ball",
                                  54104, 0, 10, 1800000);
  sport.lengthSectors = 16 * kSectorsPerHojin;
  sport.blocks = {13};
  disk.recordings.push_back(sport);
  return disk;
}

DiskDescription benchDisk(uint64_t recordingBytes) {
  const uint64_t hojins = std::max<uint64_t>(1, (recordingBytes + kHojinBytes - 1) / kHojinBytes);
  const uint64_t blockCount = (hojins + kHojinsPerBlock - 1) / kHojinsPerBlock;

  Recording recording = makeRecording(0, "Benchmark-Aufnahme", "Messung", 54101, 20, 15, 0);
  recording.lengthSectors = static_cast<uint32_t>(hojins * kSectorsPerHojin);
  // About 8 Mbit/s, as a broadcast would be.
  recording.durationMs = static_cast<uint32_t>(
      std::min<uint64_t>(hojins * kHojinBytes / 1000, std::numeric_limits<uint32_t>::max()));
  // Runs of seven blocks, shorter for a small recording so it is fragmented too, with a gap of
  // one block after every run.
  const uint64_t runBlocks = std::clamp<uint64_t>(blockCount / 2, 1, 7);
  for (uint64_t i = 0; i < blockCount; ++i) {
    recording.blocks.push_back(static_cast<uint32_t>(i + i / runBlocks));
  }

  DiskDescription disk;
  disk.recordings.push_back(recording);
  const uint64_t dataEnd = static_cast<uint64_t>(blockSector(disk.model, disk.fileFatSize,
                                                             recording.blocks.back() + 1)) *
                           kSectorBytes;
  disk.imageBytes = std::max(disk.imageBytes, dataEnd);
  return disk;
}

DiskDescription fullDisk(uint64_t dataBytes) {
  static const char* const kChannels[] = {"Das Erste", "ZDF", "arte", "3sat", "WDR", "BR"};
  constexpr int kTogether = 3;  // recordings laid down at the same time
  constexpr uint32_t kLongestRun = 4;

  DiskDescription disk;
  Dice dice;
  const std::vector<uint64_t> hojins =
      mixedLengths(kSlotCount, std::max<uint64_t>(1, dataBytes / kHojinBytes), dice);
  std::vector<uint32_t> blocksLeft(hojins.size());
  uint64_t blocksNeeded = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    char title[40];
    std::snprintf(title, sizeof title, "Aufnahme %04d", slot);
    Recording recording =
        makeRecording(slot, title, kChannels[slot % 6], 54101 + slot / 4,
                      static_cast<uint16_t>(6 + slot % 4 * 4), static_cast<uint16_t>(slot % 60), 0);
    const uint32_t partSectors = slot % 5 == 0 ? 1 + slot % (kSectorsPerHojin - 1) : 0;
    recording.lengthSectors = static_cast<uint32_t>(hojins[slot] * kSectorsPerHojin) + partSectors;
    recording.durationMs = static_cast<uint32_t>(hojins[slot] * kHojinBytes / 1000);
    const uint32_t written = writtenHojinCount(recording);
    blocksLeft[slot] = (written + kHojinsPerBlock - 1) / kHojinsPerBlock;
    blocksNeeded += blocksLeft[slot];
    disk.recordings.push_back(std::move(recording));
  }

  // Runs are dealt in a dense order first, then each run's start is stretched over the whole
  // data area; a run stays contiguous because the stretch is at least one.
  const int64_t dataSectors = static_cast<int64_t>(disk.imageBytes / kSectorBytes) -
                              dataAreaStart(disk.model, disk.fileFatSize);
  const uint64_t blocksOnDisk = static_cast<uint64_t>(dataSectors / kSectorsPerBlock);
  const double stretch =
      std::max(1.0, static_cast<double>(blocksOnDisk) / static_cast<double>(blocksNeeded));
  uint64_t dense = 0;
  int nextSlot = 0;
  std::vector<int> active;
  while (nextSlot < kSlotCount || !active.empty()) {
    while (static_cast<int>(active.size()) < kTogether && nextSlot < kSlotCount)
      active.push_back(nextSlot++);
    const size_t pick = dice.roll(static_cast<uint32_t>(active.size()));
    const int slot = active[pick];
    const uint32_t run = std::min(blocksLeft[slot], 1 + dice.roll(kLongestRun));
    const auto first = static_cast<uint32_t>(static_cast<double>(dense) * stretch);
    for (uint32_t i = 0; i < run; ++i) disk.recordings[slot].blocks.push_back(first + i);
    dense += run;
    blocksLeft[slot] -= run;
    if (blocksLeft[slot] == 0) active.erase(active.begin() + static_cast<std::ptrdiff_t>(pick));
  }
  return disk;
}

}  // namespace korvelo::sample
