// SPDX-License-Identifier: GPL-3.0-or-later
// HOJIN heads from fuzzed bytes: the head tests must agree with the byte layout, the
// dump must always be the head line and four rows of exactly 71 characters, and the
// File-FAT-Size probe must settle on the first candidate whose A-sector is a HOJIN.

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_disk.h"
#include "recfs/disk_layout.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/hojin_buffer.h"

using namespace korvelo;
using korvelo::fuzz::FuzzDisk;
using korvelo::fuzz::InputReader;

namespace {

constexpr uint8_t kSignature[20] = {'[', 'H', 'O', 'J', 'I', 'N', ' ', 'A', 0,    0,
                                    2,   0,   0,   0,   0,   0,   0,   0,   0x80, 0};

uint32_t bigEndian32At(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

void checkDump(const HojinBuffer& hojin, const std::string& dump) {
  char head[96];
  std::snprintf(head, sizeof head, "[HOJIN A-Sektor #%08" PRId64 " mit %s Signatur.\n",
                hojin.getSector(), hojin.hasSignature() ? "korrekter" : "fehlerhafter");
  KORVELO_FUZZ_CHECK(dump.compare(0, std::strlen(head), head) == 0);
  const uint8_t* bytes = hojin.getData();
  size_t at = std::strlen(head);
  for (int row = 0; row < 64; row += 16) {
    // The character column shows each byte as the log shows a title's: control bytes as
    // '.', the rest Latin-1 turned into UTF-8 (one or two bytes).
    std::string shown;
    for (int i = 0; i < 16; ++i) {
      const uint8_t byte = bytes[row + i];
      if ((byte & 0x7F) < 32) {
        shown += '.';
      } else if (byte < 0x80) {
        shown += static_cast<char>(byte);
      } else {
        shown += static_cast<char>(0xC0 | (byte >> 6));
        shown += static_cast<char>(0x80 | (byte & 0x3F));
      }
    }
    const size_t lineEnd = dump.find('\n', at);
    KORVELO_FUZZ_CHECK(lineEnd != std::string::npos && lineEnd - at == 55 + shown.size());
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X  ", unsigned(row));
    KORVELO_FUZZ_CHECK(dump.compare(at, 6, hex) == 0);
    KORVELO_FUZZ_CHECK(dump.compare(at + 55, shown.size(), shown) == 0);
    at = lineEnd + 1;
  }
  KORVELO_FUZZ_CHECK(at == dump.size());
}

void checkHead(const HojinBuffer& hojin) {
  const uint8_t* bytes = hojin.getData();
  KORVELO_FUZZ_CHECK(hojin.hasSignature() == (std::memcmp(bytes, kSignature, 20) == 0));
  KORVELO_FUZZ_CHECK(hojin.getInternalNumber() == bigEndian32At(bytes + 32) / 65 + 1);
  KORVELO_FUZZ_CHECK(hojin.getInternalNumber2() == bigEndian32At(bytes + 56));
  KORVELO_FUZZ_CHECK(hojin.isRecordingStart() == (bigEndian32At(bytes + 32) == 0));
  checkDump(hojin, hojin.dumpHead());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader input(data, size);
  const uint8_t flags = input.u8();
  const int64_t sector = static_cast<int64_t>(input.u64());
  const std::span<const uint8_t> aSector = input.bytes(kHojinBytes);

  HojinBuffer hojin;
  std::memset(hojin.getData(), 0, kHojinBytes);
  std::memcpy(hojin.getData(), aSector.data(), aSector.size());
  hojin.setSector(sector);
  checkHead(hojin);

  // The same head as the A-sector of the data area for F = 1 + flags % 32, on a disk
  // that ends right behind that HOJIN: the probe must find exactly that F, or none.
  const DiskLayout& layout = (flags & 0x80) ? kPvr8005Layout : kFsr5000Layout;
  const int placedSize = 1 + flags % 32;
  const int64_t start = layout.dataAreaStart(placedSize);
  auto disk = std::make_shared<FuzzDisk>((start + kSectorsPerHojin) * 512);
  disk->put(start * 512, aSector);
  const korvelo::fuzz::InstalledDisk installed(disk);
  std::unique_ptr<Fsr5000Disk> recorder =
      (flags & 0x80) ? std::make_unique<Pvr8005Disk>('0') : std::make_unique<Fsr5000Disk>('0');
  const int found = recorder->getSizeFileFAT();
  KORVELO_FUZZ_CHECK(found == (hojin.hasSignature() ? placedSize : -1));
  return 0;
}
