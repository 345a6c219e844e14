// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system check over listed recordings whose file FATs are fuzzed bits (random
// bits cross-link most of the disk): the memory stays bounded (scripts/fuzz.sh runs this
// target under -rss_limit_mb), the counts of free and cross-linked blocks equal a count
// made from the same bits, and the lines about single blocks stop at their bound.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "fuzz_disk.h"
#include "recfs/disk_layout.h"
#include "recfs/file_system_check.h"
#include "recfs/fsr5000_disk.h"

using namespace korvelo;
using korvelo::fuzz::FuzzDisk;
using korvelo::fuzz::InputReader;

namespace {

constexpr int64_t kMostLinesPerKind = 100 + 1;  // the listed ones and the line counting the rest

void putBigEndian(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes[at + size_t(i)] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}

// How many of the listed file FATs claim each block of the data area.
std::vector<int> claimsPerBlock(const std::vector<std::vector<uint8_t>>& fats, int64_t blocks) {
  std::vector<int> claims(static_cast<size_t>(blocks), 0);
  for (const auto& fat : fats)
    for (size_t bit = 0; bit < fat.size() * 8 && int64_t(bit) < blocks; ++bit)
      if ((fat[bit / 8] >> (7 - bit % 8)) & 1) ++claims[bit];
  return claims;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader input(data, size);
  const uint8_t flags = input.u8();
  const int fatSize = 1 + flags % 4;
  const int entries = 1 + (flags >> 2) % 8;
  const bool deep = flags & 0x20;
  // Past 4096 cross-linked blocks the claimants are only counted; a data area that large
  // costs a hundred times as much to check, so only flags 0xC0 ask for it.
  const int64_t blocks = 1 + input.u16() % ((flags & 0xC0) == 0xC0 ? 8192 : 512);
  const DiskLayout& layout = kFsr5000Layout;
  const int64_t dataStart = layout.dataAreaStart(fatSize);
  auto disk = std::make_shared<FuzzDisk>((dataStart + blocks * kSectorsPerBlock) * 512);

  std::vector<uint8_t> head(512, 0);
  putBigEndian(head, 0, static_cast<uint32_t>(entries), 2);
  disk->put(layout.directoryHead * 512, head);
  // The file FATs: the rest of the input over and over (random bits, cheaply), one
  // rotation per entry so that they differ.
  const std::span<const uint8_t> pattern = input.rest();
  std::vector<std::vector<uint8_t>> fats;
  for (int entry = 0; entry < entries; ++entry) {
    std::vector<uint8_t> image(kEntryImageBytes, 0);
    putBigEndian(image, 0, static_cast<uint32_t>(entry), 2);
    putBigEndian(image, 148, 65u * 16 * static_cast<uint32_t>(entry + 1), 4);
    disk->put((layout.firstSlot + int64_t{kSlotSectors} * entry) * 512, image);
    std::vector<uint8_t> fat(static_cast<size_t>(fatSize) * 512, 0);
    for (size_t i = 0; i < fat.size() && !pattern.empty(); ++i)
      fat[i] = pattern[(i + size_t(entry) * 7) % pattern.size()];
    disk->put(*layout.fileFatSector(entry, fatSize) * 512, fat);
    fats.push_back(std::move(fat));
  }
  const korvelo::fuzz::InstalledDisk installed(disk);

  Fsr5000Disk recorder('0');
  recorder.setSizeFileFAT(fatSize);
  recorder.readDirectory(false);
  CheckOptions options;
  options.deep = deep;
  const CheckReport report = checkFileSystem(recorder, options);

  // The data area ends with the disk, or after the blocks a file FAT can name.
  const BlockOwnership& ownership = report.ownership;
  const int64_t checked = std::min<int64_t>(blocks, int64_t{fatSize} * 512 * 8);
  KORVELO_FUZZ_CHECK(ownership.blockCount() == checked);
  const std::vector<int> claims = claimsPerBlock(fats, checked);
  int64_t free = 0, shared = 0;
  for (int count : claims) {
    free += count == 0 ? 1 : 0;
    shared += count > 1 ? 1 : 0;
  }
  KORVELO_FUZZ_CHECK(ownership.freeBlocks() == free);
  KORVELO_FUZZ_CHECK(ownership.sharedBlockCount() == shared);
  KORVELO_FUZZ_CHECK(ownership.sharedBlocks().size() <= BlockOwnership::kNamedSharedBlocks);
  for (const auto& [block, claimants] : ownership.sharedBlocks())
    KORVELO_FUZZ_CHECK(static_cast<int>(claimants.size()) == claims[size_t(block)]);
  std::map<std::string, int64_t> perKind;
  for (const CheckFinding& finding : report.findings) ++perKind[finding.kind];
  KORVELO_FUZZ_CHECK(perKind["cross-link"] <= kMostLinesPerKind);
  KORVELO_FUZZ_CHECK(perKind["lost-recording"] <= kMostLinesPerKind);
  KORVELO_FUZZ_CHECK((perKind["cross-link"] > 0) == (shared > 0));
  return 0;
}
