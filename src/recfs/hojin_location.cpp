// SPDX-License-Identifier: GPL-3.0-or-later
// Maps HOJIN k of the recording with entry number e to its first sector through the
// recording's file FAT, read ahead for a run or the most recently read one. Leaves its trace
// lines ("DEBUG gSNOH: ...") in the status text; callers decide whether to show them.

#include <cinttypes>

#include "disk/text.h"
#include "recfs/fat_cache.h"
#include "recfs/sector_math.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

void traceFirstHojin(int64_t target, const FileFat::BlockBit& hit, int64_t lastByte) {
  addStatusLine(textf("DEBUG gSNOH: nBlockContainsHojin = %d; nBlock = %d",
                      static_cast<int>(target), static_cast<int>(hit.setBitsCounted)));
  addStatusLine(textf("DEBUG gSNOH: nByteOfFAT = %d; nLastByteOfFAT = %d",
                      static_cast<int>(hit.byteIndex), static_cast<int>(lastByte)));
}

}  // namespace

// The file FAT of entry e for F that tells where block `ordinal` lies: read ahead, held
// from the last call, or read now; null when unreadable.
const FileFat* Fsr5000Disk::loadFileFat(int entryNumber, int size, int64_t ordinal) {
  if (const FileFat* ahead = cache_->readAhead(entryNumber, size, ordinal)) return ahead;
  if (cache_->holdsLast(entryNumber, size)) return &cache_->last->fat;
  cache_->last.reset();
  const std::optional<int64_t> sector = layout_.fileFatSector(entryNumber, size);
  std::unique_ptr<uint8_t[]> bytes;
  if (sector && size <= kLargestReadableFatSize) bytes = drive.readSector(*sector, size);
  addStatusLine(textf("DEBUG gSNOH: readSector(nFileFATSector = %" PRId64
                      ", %d) returned (0x%08" PRIXPTR ").",
                      sector.value_or(-1), size, reinterpret_cast<uintptr_t>(bytes.get())));
  if (!bytes) return nullptr;
  const std::span<const uint8_t> read(bytes.get(), static_cast<size_t>(size) * kSectorSize);
  cache_->last.emplace(FatCache::Loaded{entryNumber, size, FileFat(read)});
  return &cache_->last->fat;
}

int64_t Fsr5000Disk::getSectorNumberOfHojin(int entryNumber, int hojinNumber) {
  clearStatus();
  if (fileFatSize < 0) {
    getSizeFileFAT();
    setStatus(textf("DEBUG gSNOH: getSizeFileFAT() returned %d (0x%04X).", fileFatSize,
                    static_cast<unsigned>(fileFatSize)));
  }
  const int size = fileFatSize;
  // Entry numbers from 2000 on would put their file FAT into the data area.
  if (size <= 0 || hojinNumber <= 0 || entryNumber < 0 || entryNumber > kMaxEntryNumber) return -1;

  const int64_t target = (int64_t{hojinNumber} - 1) / kHojinsPerBlock + 1;
  const FileFat* fat = loadFileFat(entryNumber, size, target);
  if (!fat) return -1;

  const bool traced = hojinNumber == 1;
  const FileFat::BlockBit hit = fat->findBlock(target);
  if (traced) traceFirstHojin(target, hit, fat->byteCount() - 1);
  if (!hit.found) return -1;

  const int64_t firstHojin = kHojinsPerBlock * (hit.bitNumber - 1);
  const int offset = (hojinNumber - 1) % kHojinsPerBlock;
  const int64_t dataStart = layout_.dataAreaStart(size);
  const std::optional<int64_t> sectorOffset = checkedMul(kSectorsPerHojin, firstHojin);
  const std::optional<int64_t> result =
      checkedOffset(dataStart, kSectorsPerHojin, firstHojin + offset);
  if (traced) {
    addStatusLine(textf("DEBUG gSNOH: number of block bit of HOJIN = %" PRId64, hit.bitNumber));
    addStatusLine(
        textf("DEBUG gSNOH: absolute number of first HOJIN in block = %" PRId64, firstHojin));
    addStatusLine(textf("DEBUG gSNOH: offset of HOJIN in block = %d", offset));
    addStatusLine(
        textf("DEBUG gSNOH: sektor number of absolute first HOJIN = %" PRId64, dataStart));
    addStatusLine(
        textf("DEBUG gSNOH: sektor offset to first HOJIN = %" PRId64, sectorOffset.value_or(-1)));
  }
  if (!result) return -1;
  if (traced) addStatusLine(textf("DEBUG gSNOH: nSectorOfHojin = %" PRId64, *result));
  return *result;
}

}  // namespace korvelo
