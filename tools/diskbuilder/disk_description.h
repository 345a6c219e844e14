// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a sample recorder disk should hold: the model, the detection sectors, the directory, the
// recordings with their blocks and deliberate head defects, and raw sectors poked in at the end.
// A description is plain data; buildDisk turns it into an image file.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvelo::sample {

enum class Model { Fsr5000, Tevion };

enum class FileSysSector {
  Present,
  Absent,
  Damaged  // the first 14 characters right, the 15th wrong
};

enum class SignatureVariant {
  Good,
  Missing,          // sectors 16..31 left zero
  Sector31Byte300,  // sectors 16..30 good, sector 31 good but for one non-zero byte at offset 300
  Offset17NotNul    // every signature sector has the 17 characters but no NUL at offset 17
};

enum class HeadDefect {
  None,
  WrongSignature,        // "[hOJIN A": one character of the signature in lower case
  WrongInternalNumbers,  // offset 56 holds k + 1 while offset 32 still names k
  WrongOrder,            // both numbers agree with each other but name HOJIN k + 1
  NotRecordingStart,     // only for HOJIN 1: offset 32 holds 13 (not 0), offset 56 still 1
  NoHead                 // the A-sector is plain payload
};

struct HojinDefect {
  int hojin = 1;  // counted from 1 within the recording
  HeadDefect defect = HeadDefect::None;
  bool operator==(const HojinDefect&) const = default;
};

struct Recording {
  int slot = 0;              // directory slot 0..1999
  uint16_t entryNumber = 0;  // bytes 0-1 of the entry image; selects the file-FAT region
  std::string title;         // raw bytes (Latin-1); more than 35 bytes leave no NUL (cut at 36)
  std::string secondText;    // raw bytes at offset 180; cut at 1356 bytes (then without NUL)
  uint32_t stampDay = 54101;
  uint16_t stampHour = 20;
  uint16_t stampMinute = 15;
  uint32_t lengthSectors = 0;
  uint32_t durationMs = 0;
  // Data-area block numbers. The file FAT is a set of bits whose ascending order is the recording
  // order, so the builder always uses them sorted; duplicates are refused.
  std::vector<uint32_t> blocks;
  std::vector<HojinDefect> defects;
  bool writeFileFat = true;  // false: the recording's FAT region stays zero
  bool operator==(const Recording&) const = default;
};

struct DiskDescription {
  Model model = Model::Fsr5000;
  uint64_t imageBytes = 160039272960ULL;  // exact file size; the file is sparse
  SignatureVariant signature = SignatureVariant::Good;
  FileSysSector fileSys = FileSysSector::Present;
  int fileFatSize = 72;              // F in sectors
  int announcedEntries = -1;         // directory head value; -1: the number of recordings
  bool directoryHeadPresent = true;  // false: the head sector stays zero (announces 0)
  std::vector<Recording> recordings;
  std::vector<int> emptySlots;  // slots written as empty (bytes 0 and 1 are 0xFF)
  // Writes a recording-start HOJIN head at absolute HOJIN 0 when no recording owns block 0, so
  // that probing for the File-FAT-Size finds F.
  bool probeMarker = true;
  // Poked last, byte-exact from the start of the given sector on (may span several sectors).
  std::vector<std::pair<int64_t, std::vector<uint8_t>>> rawSectors;
  bool operator==(const DiskDescription&) const = default;
};

}  // namespace korvelo::sample
