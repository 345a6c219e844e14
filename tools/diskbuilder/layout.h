// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sector numbers of the recorder layout, worked out here on their own so that tests can hold the
// core's answers against them. Every sector number is counted from sector 0 of the disk image.

#include <cstdint>

#include "diskbuilder/disk_description.h"

namespace korvelo::sample {

inline constexpr int kSectorBytes = 512;
inline constexpr int kSectorsPerHojin = 65;
inline constexpr int kHojinBytes = kSectorsPerHojin * kSectorBytes;  // 33280
inline constexpr int kHojinsPerBlock = 16;
inline constexpr int kSectorsPerBlock = kSectorsPerHojin * kHojinsPerBlock;  // 1040
inline constexpr int kSlotCount = 2000;
inline constexpr int kSectorsPerSlot = 32;
inline constexpr int kEntryImageBytes = 1536;
inline constexpr int kFatRegions = 2001;
inline constexpr int64_t kFirstSignatureSector = 16;
inline constexpr int64_t kLastSignatureSector = 31;
inline constexpr int64_t kFileSysSector = 307489;  // the same on both models

// 0 for the FSR-5000, 6291456 (3 GiB of sectors) for the Tevion, whose directory and FAT area
// lie that much nearer to the start of the disk.
int64_t layoutShift(Model model);
int64_t directoryHeadSector(Model model);
// Preconditions: 0 <= slot < kSlotCount.
int64_t slotSector(Model model, int slot);
int64_t fatAreaStart(Model model);
// The file FAT of entry number e lies in FAT region e + 1.
int64_t fileFatSector(Model model, int fileFatSize, int entryNumber);
int64_t dataAreaStart(Model model, int fileFatSize);
int64_t absoluteHojinSector(Model model, int fileFatSize, int64_t absoluteHojin);
int64_t blockSector(Model model, int fileFatSize, int64_t block);

// The A-sector of HOJIN k (from 1) of a recording, or -1 when k < 1 or the recording has fewer
// blocks than HOJIN k needs.
int64_t hojinSector(const DiskDescription& disk, const Recording& recording, int k);
// Whole HOJINs of the recording: lengthSectors / 65, truncated.
uint32_t hojinCount(const Recording& recording);
// HOJINs the builder writes: also the partial last one, ceil(lengthSectors / 65).
uint32_t writtenHojinCount(const Recording& recording);

// The deterministic payload of a sector: every byte that is not a head field. Cheap enough to
// fill a gigabyte, and different for every sector, so a misplaced sector shows.
void fillPayload(int64_t sector, uint8_t* sector512);

}  // namespace korvelo::sample
