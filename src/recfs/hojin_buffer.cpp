// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/hojin_buffer.h"

#include <cinttypes>
#include <cstring>

#include "disk/text.h"
#include "recfs/disk_layout.h"

namespace korvelo {
namespace {

constexpr uint8_t kSignature[16] = {'[',  'H',  'O',  'J',  'I',  'N',  ' ',  'A',
                                    0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kBlockSizeField[4] = {0x00, 0x00, 0x80, 0x00};  // 32768 at offset 16
constexpr int kPositionOffset = 32;                               // 65 x (k - 1)
constexpr int kHojinNumberOffset = 56;                            // k
constexpr int kDumpBytes = 64;
constexpr int kDumpRow = 16;

char shownAs(uint8_t byte) {
  return (byte & 0x7F) >= 32 ? static_cast<char>(byte) : '.';
}

}  // namespace

HojinBuffer::HojinBuffer() : SectorBuffer(kHojinBytes) {}

bool HojinBuffer::hasSignature() const {
  const uint8_t* head = getData();
  return std::memcmp(head, kSignature, sizeof kSignature) == 0 &&
         std::memcmp(head + sizeof kSignature, kBlockSizeField, sizeof kBlockSizeField) == 0;
}

uint32_t HojinBuffer::getInternalNumber() const {
  return bigEndian32(kPositionOffset) / kSectorsPerHojin + 1;
}

uint32_t HojinBuffer::getInternalNumber2() const {
  return bigEndian32(kHojinNumberOffset);
}

bool HojinBuffer::isRecordingStart() const {
  const uint8_t* field = getData() + kPositionOffset;
  return field[0] == 0 && field[1] == 0 && field[2] == 0 && field[3] == 0;
}

std::string HojinBuffer::dumpHead() const {
  std::string text = textf("[HOJIN A-Sektor #%08" PRId64 " mit %s Signatur.\n", getSector(),
                           hasSignature() ? "korrekter" : "fehlerhafter");
  const uint8_t* head = getData();
  for (int row = 0; row < kDumpBytes; row += kDumpRow) {
    std::string characters;
    text += textf("%04X  ", static_cast<unsigned>(row));
    for (int i = 0; i < kDumpRow; ++i) {
      const uint8_t byte = head[row + i];
      text += textf(i == 8 ? " %02X " : "%02X ", static_cast<unsigned>(byte));
      characters += shownAs(byte);
    }
    // The shown bytes are the recorder's Latin-1, like its titles; the log is UTF-8.
    text += latin1ToUtf8(characters);
    text += '\n';
  }
  return text;
}

}  // namespace korvelo
