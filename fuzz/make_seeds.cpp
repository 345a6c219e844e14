// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed inputs of the fuzz targets from the sample-disk builder's demo disk:
// its entry images, file FATs and HOJIN heads, laid out as each target reads its input.
//   korvelo-fuzz-seeds <corpus folder>   (creates <folder>/<target>/<name>)

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "diskbuilder/hojin_image.h"

using namespace korvelo::sample;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

void put8(Bytes& out, uint8_t v) {
  out.push_back(v);
}
void put16(Bytes& out, uint16_t v) {
  out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)});
}
void put32(Bytes& out, uint32_t v) {
  put16(out, uint16_t(v >> 16)), put16(out, uint16_t(v));
}
void put64(Bytes& out, uint64_t v) {
  put32(out, uint32_t(v >> 32)), put32(out, uint32_t(v));
}
void append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

// Trailing zeros are what the targets fill in anyway; leaving them out keeps seeds small.
Bytes withoutTrailingZeros(Bytes bytes) {
  while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
  return bytes;
}

void save(const fs::path& folder, const std::string& target, const std::string& name,
          const Bytes& bytes) {
  fs::create_directories(folder / target);
  std::ofstream file(folder / target / name, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void save(const fs::path& folder, const std::string& target, const std::string& name,
          const std::string& text) {
  save(folder, target, name, Bytes(text.begin(), text.end()));
}

// flags, announced count, disk cut, failing slot, then the slot images.
Bytes directoryInput(uint8_t flags, uint16_t announced, uint32_t cut, uint16_t failingSlot,
                     const std::vector<Bytes>& slots) {
  Bytes out;
  put8(out, flags);
  put16(out, announced);
  put32(out, cut);
  put16(out, failingSlot);
  for (const Bytes& slot : slots) append(out, slot);
  return out;
}

void directorySeeds(const fs::path& folder, const DiskDescription& disk) {
  std::vector<Bytes> slots;
  for (const Recording& recording : disk.recordings) slots.push_back(entryImage(recording));
  save(folder, "directory", "demo", directoryInput(0, 5, 0, 0, slots));
  save(folder, "directory", "tevion", directoryInput(1, 5, 0, 0, slots));
  // Flags 0xC0: the count as it stands, so all 2000 slots are visited.
  save(folder, "directory", "announces_more",
       directoryInput(0xC0, 65535, 0, 0, {slots[0], slots[1]}));
  // The disk ends in slot 3's image; slot 2 has a bad sector.
  save(folder, "directory", "truncated",
       directoryInput(2, 5, (16 + 3 * 32 + 1) * 512 + 100, 0, slots));
  save(folder, "directory", "bad_sector", directoryInput(4 | (1 << 3), 5, 0, 2, slots));
  std::vector<Bytes> withEmpty = {slots[0], emptySlotImage(1), slots[2]};
  save(folder, "directory", "empty_slot", directoryInput(0, 3, 0, 0, withEmpty));
}

void locationSeeds(const fs::path& folder, const DiskDescription& disk) {
  for (const Recording& recording : disk.recordings) {
    Bytes out;
    put8(out, 0x20);                             // sizes up to 298
    put16(out, uint16_t(disk.fileFatSize + 1));  // the target takes this less one as F
    put32(out, 0);
    put16(out, recording.entryNumber);
    put32(out, uint32_t(recording.lengthSectors / kSectorsPerHojin));
    append(out, withoutTrailingZeros(fileFatImage(disk, recording)));
    save(folder, "hojin_location", "entry" + std::to_string(recording.entryNumber), out);
  }
  // F = 1, blocks 10 and 11 of entry 0 (bits 11 and 12), HOJIN 17.
  Bytes small;
  put8(small, 0);
  put16(small, 2);
  put32(small, 0);
  put16(small, 0);
  put32(small, 17);
  append(small, {0x00, 0x30});
  save(folder, "hojin_location", "two_blocks", small);
}

void headSeeds(const fs::path& folder, const DiskDescription& disk) {
  const Recording& film = disk.recordings[2];
  const HeadDefect defects[] = {HeadDefect::None, HeadDefect::WrongSignature,
                                HeadDefect::WrongInternalNumbers, HeadDefect::WrongOrder,
                                HeadDefect::NotRecordingStart};
  int index = 0;
  for (HeadDefect defect : defects) {
    const int k = defect == HeadDefect::NotRecordingStart ? 1 : 1 + 17 * index;
    const int64_t sector = hojinSector(disk, film, k);
    Bytes hojin(kHojinBytes);
    fillHojin(sector, k, defect, hojin.data());
    Bytes out;
    put8(out, uint8_t(disk.fileFatSize - 1 + 32 * (index % 2)));
    put64(out, uint64_t(sector));
    out.insert(out.end(), hojin.begin(), hojin.begin() + 64);
    save(folder, "hojin_head", "defect" + std::to_string(index++), out);
  }
}

void settingsSeeds(const fs::path& folder) {
  save(folder, "settings", "first_run",
       "PathToHAVs = /home/user\nDebugInfo = false\nNoFileSysCheck = false\nFATSizeAuto = true\n"
       "FATSizeManuel = 72\nUseRecordDate = false\nSuppressWarnings = true\nTevionPVR8005HDD = "
       "false\n"
       "MillisecondsPause = 0\nEntryNumberInFileName = true\n");
  save(folder, "settings", "kept_lines",
       "; Einstellungen\r\n\r\n  debuginfo=TRUE\r\nFoo = 1\r\nDebugInfo = "
       "false\r\nTevionPVR8005HDD = true\r\n"
       "FATSizeManuel =\r\nMillisecondsPause = 500");
  save(folder, "settings", "with_values",
       std::string("FATSizeManuel = -12abc\nPathToHAVs = /data/a=b\n") + '\0' + "Foo" + '\0' +
           " bar " + '\0' + "MillisecondsPause" + '\0' + "99999999999");
}

void mapfileSeeds(const fs::path& folder) {
  save(folder, "mapfile", "rescue",
       "# Mapfile. Created by the rescue tool\n# Command line: rescue /dev/sdb disk.img disk.map\n"
       "# current_pos  current_status  current_pass\n0x3A380000     +               1\n"
       "#      pos        size  status\n0x00000000  0x3A380000  +\n0x3A380000  0x00000200  -\n"
       "0x3A380200  0x00010000  +\n0x3A390200  0x00001000  /\n0x3A391200  0x25432000  +\n");
  save(folder, "mapfile", "decimal", "0 ?\n0 512 +\n512 512 +\n1024 1024 ?\n4096 100 *\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[1];
  const DiskDescription disk = demoDisk();
  directorySeeds(folder, disk);
  locationSeeds(folder, disk);
  headSeeds(folder, disk);
  settingsSeeds(folder);
  mapfileSeeds(folder);
  return 0;
}
