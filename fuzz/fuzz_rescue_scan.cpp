// SPDX-License-Identifier: GPL-3.0-or-later
// The rescue scans over a file-FAT area of fuzzed bits and HOJIN heads laid anywhere in a
// small data area: whatever the bits claim, the memory stays bounded (scripts/fuzz.sh runs
// this target under -rss_limit_mb), every recording the region scan keeps opens with a
// head of HOJIN 1 on the disk, and the head scan gives no block to two recordings.

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>

#include "fuzz_disk.h"
#include "recfs/disk_layout.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/rescue_scan.h"

using namespace korvelo;
using korvelo::fuzz::FuzzDisk;
using korvelo::fuzz::InputReader;

namespace {

uint32_t bigEndian32At(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

// Whether the disk holds the head of HOJIN 1 at `sector`, read straight from its bytes.
bool holdsFirstHead(const FuzzDisk& disk, int64_t sector) {
  uint8_t bytes[512];
  if (disk.read(sector * 512, bytes) != 512) return false;
  const std::vector<uint8_t> head = korvelo::fuzz::headSector(1, 1);
  return std::memcmp(bytes, head.data(), 20) == 0 && bigEndian32At(bytes + 32) / 65 + 1 == 1 &&
         bigEndian32At(bytes + 56) == 1;
}

void checkRegionScan(const RescueScanResult& result, const FuzzDisk& disk) {
  int previous = -1;
  int64_t blocks = 0;
  for (const RescuedRecording& recording : result.recordings) {
    KORVELO_FUZZ_CHECK(recording.id > previous && recording.id <= kMaxEntryNumber);
    previous = recording.id;
    KORVELO_FUZZ_CHECK(2 * int64_t{recording.hojins} >
                       int64_t{kHojinsPerBlock} * (int64_t(recording.blocks.size()) - 1));
    KORVELO_FUZZ_CHECK(int64_t{recording.hojins} <=
                       int64_t{kHojinsPerBlock} * static_cast<int64_t>(recording.blocks.size()));
    KORVELO_FUZZ_CHECK(holdsFirstHead(disk, recording.sectorOfHojin(1)));
    blocks += static_cast<int64_t>(recording.blocks.size());
  }
  KORVELO_FUZZ_CHECK(blocks <= kMostRescuedBlocks);
  KORVELO_FUZZ_CHECK(static_cast<int64_t>(result.recordings.size()) + result.notCredible <=
                     result.scanned);
  KORVELO_FUZZ_CHECK(result.fellShort() == (result.atBlockBound ||
                                            (result.recordings.empty() && result.notCredible > 0)));
}

void checkHeadScan(const RescueScanResult& result) {
  std::set<int64_t> taken;
  KORVELO_FUZZ_CHECK(static_cast<int64_t>(result.recordings.size()) <= kMostHeadStarts);
  for (const RescuedRecording& recording : result.recordings) {
    KORVELO_FUZZ_CHECK(!recording.blocks.empty() && recording.hojins >= 1);
    KORVELO_FUZZ_CHECK(int64_t{recording.hojins} <=
                       int64_t{kHojinsPerBlock} * static_cast<int64_t>(recording.blocks.size()));
    for (size_t i = 0; i < recording.blocks.size(); ++i) {
      KORVELO_FUZZ_CHECK(i == 0 || recording.blocks[i] > recording.blocks[i - 1]);
      KORVELO_FUZZ_CHECK(taken.insert(recording.blocks[i]).second);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader input(data, size);
  const uint8_t flags = input.u8();
  const bool byHeads = flags & 1;
  const int fatSize = 1 + (flags >> 1) % 4;
  const int64_t blockCount = 1 + input.u16() % 256;
  const DiskLayout& layout = kFsr5000Layout;
  const int64_t dataStart = layout.dataAreaStart(fatSize);
  auto disk = std::make_shared<FuzzDisk>((dataStart + blockCount * kSectorsPerBlock) * 512);
  // Heads: block, HOJIN in it, number, and a second number that may disagree.
  const int heads = input.u8() % 64;
  for (int i = 0; i < heads; ++i) {
    const int64_t block = input.u16() % blockCount;
    const int hojin = input.u8() % kHojinsPerBlock;
    const uint32_t number = input.u16();
    const uint32_t second = input.u8() & 1 ? input.u16() : number;
    const int64_t sector = dataStart + block * kSectorsPerBlock + int64_t{kSectorsPerHojin} * hojin;
    disk->put(sector * 512, korvelo::fuzz::headSector(number, second));
  }
  // The rest of the input is the file-FAT area from entry 0's region on.
  disk->put(*layout.fileFatSector(0, fatSize) * 512, input.rest());
  const korvelo::fuzz::InstalledDisk installed(disk);

  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(fatSize);
  recorder.readDirectory(false);
  RescueScanOptions options;
  const RescueScanResult result =
      byHeads ? scanHojinHeads(recorder, options) : scanFileFatRegions(recorder, options);
  KORVELO_FUZZ_CHECK(result.ok && result.fileFatSize == fatSize);
  if (byHeads) {
    checkHeadScan(result);
  } else {
    checkRegionScan(result, *disk);
  }
  return 0;
}
