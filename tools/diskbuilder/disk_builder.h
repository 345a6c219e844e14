// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sample-disk builder: writes recorder-disk images for tests, benchmarks and the demo from a
// DiskDescription, and reads back what it wrote so exports can be compared byte for byte.
// It works out the layout on its own and shares no code with the program it tests.

#include <cstdint>
#include <string>
#include <vector>

#include "diskbuilder/disk_description.h"
#include "diskbuilder/entry_image.h"
#include "diskbuilder/layout.h"
#include "diskbuilder/presets.h"

namespace korvelo::sample {

// Writes the image as a sparse file of exactly imageBytes bytes. Throws std::runtime_error with
// the reason when the description cannot be laid out or the file cannot be written.
void buildDisk(const DiskDescription& disk, const std::string& path);

// The file FAT the builder writes for a recording: fileFatSize x 512 bytes, the bit of block b
// is bit (7 - b % 8) of byte b / 8.
std::vector<uint8_t> fileFatImage(const DiskDescription& disk, const Recording& recording);

// The 33280 bytes the builder writes for HOJIN k of the recording, computed without the image.
// Throws when the recording has no block for HOJIN k.
std::vector<uint8_t> expectedHojin(const DiskDescription& disk, const Recording& recording, int k);

// The 65 sectors of HOJIN k of the recording read straight from the image. Throws when the
// recording has no block for HOJIN k or the image cannot be read.
std::vector<uint8_t> readHojinFromImage(const std::string& imagePath, const DiskDescription& disk,
                                        const Recording& recording, int k);

// HOJINs 1 .. hojins read from the image one after another: the data part of a ".hav" file.
// hojins = -1 takes the recording's whole HOJINs (lengthSectors / 65).
std::vector<uint8_t> readRecordingFromImage(const std::string& imagePath,
                                            const DiskDescription& disk, const Recording& recording,
                                            int hojins = -1);

}  // namespace korvelo::sample
