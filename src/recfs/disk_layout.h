// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where things lie on a recorder disk. The Tevion layout is the FSR-5000 one less
// 6291456 sectors; everything else (formats, counts, messages) is shared.

#include <cstdint>
#include <optional>

#include "recfs/sector_math.h"

namespace korvelo {

inline constexpr int kSectorsPerHojin = 65;
inline constexpr int kHojinBytes = 65 * 512;  // 33280
inline constexpr int kHojinsPerBlock = 16;
inline constexpr int kSectorsPerBlock = kSectorsPerHojin * kHojinsPerBlock;  // 1040
inline constexpr int kFatRegions = 2001;
inline constexpr int kSlotCount = 2000;
inline constexpr int kSlotSectors = 32;
inline constexpr int kEntryImageSectors = 3;
inline constexpr int kEntryImageBytes = 1536;
inline constexpr int kMaxEntryNumber = 1999;  // file FAT regions 1 ... 2000
inline constexpr int64_t kSignatureFirstSector = 16;
inline constexpr int kSignatureSectorCount = 16;
inline constexpr int64_t kFileSystemSector = 307489;
inline constexpr int64_t kFsrFatAreaStart = 6662704;  // calcFAT uses it for both models

struct DiskLayout {
  int64_t directoryHead;  // announced entry count in bytes 0-1
  int64_t firstSlot;      // slot k at firstSlot + 32 k
  int64_t lastSlot;       // no slot above it is visited
  int64_t fatAreaStart;   // FAT region 0; region r at + r F, the file FAT of entry e in r = e + 1
  const char* modelName;  // as the messages name the model: "FSR-5000", "PVR-8005"

  // The first of the fileFatSize sectors of entry e's file FAT; none when the number
  // does not fit (a hostile entry number or File-FAT-Size).
  std::optional<int64_t> fileFatSector(int entryNumber, int fileFatSize) const {
    return checkedOffset(fatAreaStart, int64_t{entryNumber} + 1, fileFatSize);
  }

  int64_t dataAreaStart(int fileFatSize) const {
    return fatAreaStart + int64_t{kFatRegions} * fileFatSize;
  }
};

inline constexpr DiskLayout kFsr5000Layout{6598688, 6598704, 6662672, 6662704, "FSR-5000"};
inline constexpr DiskLayout kPvr8005Layout{307232, 307248, 371216, 371248, "PVR-8005"};

}  // namespace korvelo
